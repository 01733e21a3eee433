// A line edit for the skinned windows. Enter is consumed here rather than reaching the window;
// in the main window's number box (control 1013) it starts a call: the edit emits
// callRequested() and posts its owner a SkinCommandEvent for command 1026, as a click on the
// call button would.
#pragma once

#include <QLineEdit>

namespace corvel {

class SkinEdit : public QLineEdit {
  Q_OBJECT

 public:
  static constexpr int kNumberBoxId = 1013;
  static constexpr int kCallCommand = 1026;

  explicit SkinEdit(QWidget* parent = nullptr);

  void setControlId(int id);
  int controlId() const;

  // Places the line of text in the vertical middle of the edit. With useFormattingRect the
  // current text margins are averaged into an offset from the top; otherwise the offset comes
  // from the height of a sample line in the edit's font. Returns 1.
  int CenterTextVertically(bool useFormattingRect);

 signals:
  void callRequested();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace corvel
