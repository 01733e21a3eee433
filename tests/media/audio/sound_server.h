// A private PipeWire sound server with a null sink, for the tests of the real device path:
// D-Bus, PipeWire, WirePlumber and the PulseAudio front end, each a child process in a runtime
// folder of the test's own. PortAudio reaches it through ALSA's pulse device; the sink's monitor
// source records what was played. ALSA's bare null device would not do: it runs unthrottled.
#pragma once

#include <sys/stat.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/temp_folder.h"

namespace corvel::testing {

class SoundServer {
 public:
  static constexpr const char* kSink = "corvel_null";

  // Starts everything; false with the reason in `why` when some part is missing or does not come
  // up (the caller skips then).
  bool Start(const TempFolder& folder, std::string& why) {
    const std::string runtime = folder / "run";
    mkdir(runtime.c_str(), 0700);
    // The children and this process (PortAudio, libpulse) find the server through these.
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
    setenv("XDG_STATE_HOME", (folder / "state").c_str(), 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + runtime + "/bus").c_str(), 1);
    setenv("PIPEWIRE_RUNTIME_DIR", runtime.c_str(), 1);
    setenv("JACK_NO_START_SERVER", "1", 1);
    unsetenv("PULSE_SERVER");
    const std::vector<std::vector<std::string>> commands = {
        {"/usr/bin/dbus-daemon", "--session", "--address=unix:path=" + runtime + "/bus", "--nofork",
         "--nopidfile"},
        {"/usr/bin/pipewire"},
        {"/usr/bin/wireplumber"},
        {"/usr/bin/pipewire-pulse"},
    };
    for (const std::vector<std::string>& command : commands) {
      if (access(command[0].c_str(), X_OK) != 0) {
        why = command[0] + " is not installed";
        return false;
      }
      std::unique_ptr<ChildProcess> child =
          ChildProcess::Start(command, folder / (command[0].substr(9) + ".log"));
      if (!child) {
        why = "cannot start " + command[0];
        return false;
      }
      children_.push_back(std::move(child));
      Wait(300);
    }
    for (int attempt = 0; attempt < 50 && Run("pactl info") != 0; ++attempt)
      Wait(200);
    if (Run("pactl info") != 0) {
      why = "the PulseAudio front end of PipeWire did not answer";
      return false;
    }
    if (Run(std::string("pactl load-module module-null-sink sink_name=") + kSink) != 0 ||
        Run(std::string("pactl set-default-sink ") + kSink) != 0 ||
        Run(std::string("pactl set-default-source ") + kSink + ".monitor") != 0) {
      why = "no null sink";
      return false;
    }
    return true;
  }

  ~SoundServer() {
    // The front end first, D-Bus last.
    for (auto child = children_.rbegin(); child != children_.rend(); ++child) {
      (*child)->Signal(SIGTERM);
      (*child)->Wait(3000);  // killed by the ChildProcess if still there
    }
  }

  static int Run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str());
  }
  static void Wait(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

 private:
  std::vector<std::unique_ptr<ChildProcess>> children_;
};

}  // namespace corvel::testing
