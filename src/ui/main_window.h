// The client's main window: a caption-less skinned phone with the account lines, the tabs, the
// dial pad and the call buttons. Its title, redrawn every 2 seconds, is the client's state.
#pragma once

#include <QBasicTimer>
#include <QDialog>
#include <QPixmap>
#include <functional>
#include <map>

#include "app/client_state.h"
#include "ui/main_title.h"

namespace corvel {

class SkinButton;
class SkinEdit;

class MainWindow : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kTitleTimerMs = 2000;

  explicit MainWindow(ClientState& state, QWidget* parent = nullptr);

  // Runs the window modally until it is closed.
  void Run();

  SkinButton* button(int id) const;
  SkinEdit* numberBox() const { return numberBox_; }
  // The title rules applied to the present state; also what the timer shows.
  std::string ComputeTitle() const;
  void RefreshTitle();
  // Relabels the log-in button after a login or a log-off.
  void ShowLoggedIn(bool loggedIn);

  // The exit command: asks, then closes.
  void Exit();
  // Log in / log off (command 1006): logs off when logged in, else runs the login window.
  void LogInOut();
  void setLoginRunner(std::function<void()> runLogin) { runLogin_ = std::move(runLogin); }

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  void BuildControls();

  ClientState& state_;
  QPixmap skin_;
  QPixmap pressedSkin_;
  QPixmap hoverSkin_;
  std::map<int, SkinButton*> buttons_;  // children, by control id
  SkinEdit* numberBox_ = nullptr;
  QBasicTimer titleTimer_;
  std::function<void()> runLogin_;
};

}  // namespace corvel
