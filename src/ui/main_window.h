// The client's main window: a caption-less skinned phone with the account lines, the tabs with
// the status panel and the lists, the dial pad and the call buttons, a tray icon, edge docking,
// and the service's web pages. Its title, redrawn every 2 seconds, is the client's state.
#pragma once

#include <QBasicTimer>
#include <QDialog>
#include <QPixmap>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "app/client_state.h"
#include "app/phone_log.h"
#include "ui/main_title.h"
#include "ui/skin/window_drag.h"

class QMenu;
class QAction;
class QEventLoop;
class QSystemTrayIcon;

namespace corvel {

class AccountTips;
class ConferenceWindow;
class PhoneControls;
class ReportList;
class SkinButton;
class SkinEdit;
class SoundPort;
class StatusPanel;

class MainWindow : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kTitleTimerMs = 2000;
  static constexpr int kEdgeTimerMs = 500;
  enum class HideState { kShown = 0, kHidden = 1, kSlid = 2 };

  explicit MainWindow(ClientState& state, QWidget* parent = nullptr);
  ~MainWindow() override;

  // What the window works with; any may be absent (no phone: calls wait for registration).
  void setPhone(PhoneControls* phone) { phone_ = phone; }
  PhoneControls* phone() const { return phone_; }
  // Builds the window's own phone when the window opens (the phone module); the phone is the
  // window's until it closes. Returns null, or a phone that may not have been built whole.
  using PhoneFactory = std::function<std::unique_ptr<PhoneControls>(MainWindow& window)>;
  void setPhoneFactory(PhoneFactory factory) { phoneFactory_ = std::move(factory); }
  // Builds the phone with the factory, once; the window's run does it as it opens.
  void OpenPhone();
  void setSounds(SoundPort* sounds) { sounds_ = sounds; }
  SoundPort* sounds() const { return sounds_; }
  void setLoginRunner(std::function<void()> runLogin) { runLogin_ = std::move(runLogin); }
  ReportList* addressBook() const { return addressBook_; }
  ReportList* callRecords() const { return callRecords_; }
  // Saves the address book list into the application folder's file.
  void SaveAddressBook();

  // Shows the window and returns once it is closed (the exit command, or the desktop closing
  // it). Hiding it does not end the run, and no other window of the client is blocked by it:
  // the tray icon stays usable while the window is hidden.
  void Run();

  // Every command of the window's controls, tray menu and posted commands, by id.
  void Command(int id);
  void Key(int keyValue);
  void Call();
  void HangUpCommand();
  void Callback();
  void LogInOut();
  void ShowTab(int tabId);
  void ToggleHidden();
  void Exit();
  void OpenWebPage(int id);
  // The window menu's about item (command 16).
  void ShowAbout();

  std::string ComputeTitle() const;
  bool RefreshTitle();  // whether the title changed
  void ShowLoggedIn(bool loggedIn);
  bool ready() const { return ready_; }
  void setReady(bool ready) { ready_ = ready; }

  SkinButton* button(int id) const;
  SkinEdit* numberBox() const { return numberBox_; }
  StatusPanel* statusPanel() const { return statusPanel_; }
  PhoneLogger& phoneLog() { return phoneLog_; }
  HideState hideState() const { return hideState_; }
  bool edgeArmed() const { return edgeArmed_; }
  int selectedTab() const { return selectedTab_; }
  QSystemTrayIcon* trayIcon() const { return tray_; }
  QMenu* trayMenu() const { return trayMenu_; }
  AccountTips* accountTips() const { return accountTips_; }
  // The tray icon's left click or double-click: centred on the screen and shown.
  void ShowFromTray();

  // The 会议 command (1009): the conference window, made on first use, shown or hidden.
  void ToggleConference();
  // The lists' 会议 item: the number is called into the conference.
  void AddToConference(const std::string& number);
  ConferenceWindow* conferenceWindow() const { return conference_; }
  // Safe from any thread (the business worker asks).
  bool hasConferenceWindow() const { return hasConference_.load(); }

  // The window's half of the worker's and the phone's messages.
  void OnWindowMessage(int number, std::uint32_t wParam);

 protected:
  bool event(QEvent* event) override;
  void customEvent(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void timerEvent(QTimerEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();
  void BuildTray();
  void BuildLists();
  void BuildAccountTips();
  bool DragFromLink(QEvent* event);
  void FollowWithConference();
  void RunListCommand(ReportList& list, int command);
  void PopIncomingCall();
  void Prompt(const char* caption, const char* text, const char* button1 = nullptr);
  void SendToService(const class ServicePacket& packet);
  void SlideAway();
  void SlideBack();
  void UpdateEdgeArming();
  void SetEdgeArmed(bool armed);  // and watches the edge only while armed
  QRect ScreenArea() const;

  ClientState& state_;
  PhoneLogger phoneLog_;
  QPixmap skin_;
  QPixmap pressedSkin_;
  QPixmap hoverSkin_;
  std::map<int, SkinButton*> buttons_;  // children, by control id
  SkinEdit* numberBox_ = nullptr;
  StatusPanel* statusPanel_ = nullptr;
  ReportList* addressBook_ = nullptr;  // children
  ReportList* callRecords_ = nullptr;
  QSystemTrayIcon* tray_ = nullptr;
  QMenu* trayMenu_ = nullptr;
  std::map<int, QAction*> trayActions_;
  std::atomic<PhoneControls*> phone_{nullptr};  // also read by the business worker
  PhoneFactory phoneFactory_;
  std::unique_ptr<PhoneControls> ownedPhone_;
  SoundPort* sounds_ = nullptr;
  std::function<void()> runLogin_;
  AccountTips* accountTips_ = nullptr;      // child
  ConferenceWindow* conference_ = nullptr;  // child window, made by the first 会议 command
  std::atomic<bool> hasConference_{false};
  WindowDrag drag_;
  std::optional<QPoint> linkPress_;  // a left press on the link that may become a drag
  bool linkDragging_ = false;
  QEventLoop* runLoop_ = nullptr;  // while Run() waits
  bool running_ = false;           // inside Run()
  bool closed_ = false;
  QBasicTimer titleTimer_;
  QBasicTimer edgeTimer_;
  bool ready_ = false;
  bool edgeArmed_ = false;
  HideState hideState_ = HideState::kShown;
  int selectedTab_ = 1002;
  std::uint32_t answeredIdentify_ = 0;  // the last incoming call answered here
  std::uint32_t poppedIdentify_ = 0;    // the last incoming call the box was shown for
};

}  // namespace corvel
