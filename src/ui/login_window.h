// The login dialog: account and password, remembered accounts in data.dat, the login request
// with its busy strip and 40-second time-out, and the sign-up and password-recovery pages.
// One instance lives as long as the process and is shown modally more than once. It also owns
// the soft keyboard for typing the password with the mouse.
#pragma once

#include <QBasicTimer>
#include <atomic>
#include <functional>
#include <string>

#include "app/client_state.h"
#include "ui/skin/skin_dialog.h"

namespace corvel {

class BusyStrip;
class SkinButton;
class SkinCombo;
class SkinEdit;
class SoftKeyboard;

class LoginWindow : public SkinDialog {
  Q_OBJECT

 public:
  static constexpr int kAccountId = 1125;
  static constexpr int kPasswordId = 1126;
  static constexpr int kKeyboardButtonId = 1128;
  static constexpr int kSignUpId = 1129;
  static constexpr int kLookupId = 1130;
  static constexpr int kRememberId = 1131;
  static constexpr int kResetId = 1132;
  static constexpr int kLoginId = 1133;
  static constexpr int kBusyStripId = 1134;
  static constexpr int kLoginTimeoutMs = 40000;

  explicit LoginWindow(ClientState& state, QWidget* parent = nullptr);

  // Runs the window modally; ClientState::loggedIn tells the outcome.
  void Run();
  // The opening steps of every run: title, size, and the accounts of data.dat.
  void Prepare();

  // True while the window is open: the business worker posts login answers here then.
  bool isOpen() const { return open_.load(); }

  // Called after a successful login (the main window relabels its log-in button).
  void setOnLoggedIn(std::function<void()> callback) { onLoggedIn_ = std::move(callback); }
  void setLoginTimeoutMs(int ms) { loginTimeoutMs_ = ms; }

  // The commands of the window's buttons.
  void Login();
  void Reset();
  void OpenSignUp();
  void OpenLookup();
  void ToggleRemember();
  void OnAccountChosen(int index);
  void OnLoginAnswer(std::uint32_t status);
  void OnLoginTimeout();
  // The keyboard button: hides the soft keyboard when it is shown, otherwise creates it when
  // needed and shows it just below the window.
  void ToggleSoftKeyboard();

  SkinCombo* accountBox() const { return account_; }
  SkinEdit* passwordBox() const { return password_; }
  BusyStrip* busyStrip() const { return busyStrip_; }
  // Null until the keyboard button is first used.
  SoftKeyboard* softKeyboard() const { return softKeyboard_; }
  bool rememberPassword() const { return rememberPassword_; }
  bool loginTimerRunning() const { return loginTimer_.isActive(); }

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void timerEvent(QTimerEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void moveEvent(QMoveEvent* event) override;

 private:
  void BuildControls();
  void LoadAccounts();
  void WriteAccounts();
  void StopPending();
  void HideSoftKeyboard();
  void ShowLoginBox(const QString& text, const QString& button1 = {});
  std::string dataPath() const;

  ClientState& state_;
  std::function<void()> onLoggedIn_;
  std::atomic<bool> open_{false};
  bool rememberPassword_ = false;
  int loginTimeoutMs_ = kLoginTimeoutMs;
  QBasicTimer loginTimer_;
  SkinCombo* account_ = nullptr;  // children of the window
  SkinEdit* password_ = nullptr;
  SkinButton* remember_ = nullptr;
  BusyStrip* busyStrip_ = nullptr;
  SoftKeyboard* softKeyboard_ = nullptr;  // a child window, created on first use
};

}  // namespace corvel
