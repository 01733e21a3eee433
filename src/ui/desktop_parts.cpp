#include "ui/desktop_parts.h"

#include "ui/desktop_phone.h"
#include "ui/main_window.h"
#include "ui/prompt_box.h"

namespace corvel {

DesktopParts::DesktopParts(ClientState& state)
    : state_(state), loginWindow_(state), peers_(loginWindow_), link_(state, peers_) {}

bool DesktopParts::CreateNetworkModule(const std::string& configFile) {
  // Folders are settled by now: the prompt box's web buttons read this configuration.
  PromptBox::SetConfigPath(state_.configPath.get());
  return link_.CreateNetworkModule(configFile);
}

void DesktopParts::ShowPrompt(const std::string& text, const std::string& caption) {
  Prompt(nullptr, PromptRequest{QString::fromStdString(caption), QString::fromStdString(text)});
}

void DesktopParts::RunLoginWindow() {
  loginWindow_.Run();
}

void DesktopParts::RunMainWindow() {
  if (!sounds_) {
    audio_ = DesktopAudioBackend(state_.configPath.get());
    sounds_ = std::make_unique<DesktopSounds>(audio_);
  }
  MainWindow window(state_);
  window.setSounds(sounds_.get());
  window.setPhoneFactory([this](MainWindow& main) -> std::unique_ptr<PhoneControls> {
    auto phone = std::make_unique<DesktopPhone>(state_, main, audio_);
    if (!phone->Create()) main.phoneLog().Log("[MODULE] Create Module Failed\n");
    return phone;
  });
  window.setLoginRunner([this] { loginWindow_.Run(); });
  loginWindow_.setOnLoggedIn([&window] { window.ShowLoggedIn(true); });
  peers_.SetMainWindow(&window);
  window.Run();
  peers_.SetMainWindow(nullptr);
  loginWindow_.setOnLoggedIn({});
}

}  // namespace corvel
