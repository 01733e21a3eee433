// The tooltip over the main window's account lines: once the pointer has rested on a line for
// 200 ms, a blue-on-white label shows that line's whole value, which the window may have cut.
#pragma once

#include <QBasicTimer>
#include <QObject>
#include <QRect>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QLabel;
class QWidget;

namespace corvel {

class AccountTips : public QObject {
  Q_OBJECT

 public:
  static constexpr int kDelayMs = 200;
  static constexpr int kShownMs = 5000;
  static constexpr int kWatchMs = 100;  // while shown: is the pointer still on the line
  using TextOf = std::function<std::string(int line)>;

  // Watches host's own surface; lines are in host coordinates, textOf gives a line's value at
  // the moment the tip opens (an empty value shows nothing).
  AccountTips(QWidget& host, std::vector<QRect> lines, TextOf textOf);
  ~AccountTips() override;

  // While inactive nothing shows (the lines are not drawn when logged off).
  void setActive(bool active);
  bool active() const { return active_; }

  int LineAt(const QPoint& pos) const;
  // The tip window; visible while a tip is shown.
  QLabel* label() const { return label_.get(); }
  int shownLine() const { return shownLine_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  void Track(const QPoint& pos);
  void Show(int line);
  void Hide();

  QWidget& host_;
  const std::vector<QRect> lines_;
  const TextOf textOf_;
  std::unique_ptr<QLabel> label_;  // a top-level tooltip window
  QBasicTimer delay_;
  QBasicTimer shownTimer_;
  QBasicTimer watch_;
  int pendingLine_ = -1;
  int shownLine_ = -1;
  bool active_ = true;
};

}  // namespace corvel
