// The skinned message box through which every window tells the user something or asks a yes/no
// question. A first button captioned "充值" or "找回密码" also opens the page that helps.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <string>

#include "ui/skin/skin_dialog.h"

namespace corvel {

class SkinButton;

class PromptBox : public SkinDialog {
  Q_OBJECT

 public:
  static constexpr int kButton1Id = 1124;
  static constexpr int kButton2Id = 1125;
  static constexpr std::uint8_t kClosedByButton1 = 6;
  static constexpr std::uint8_t kClosedByButton2 = 7;
  static constexpr int kAlignCentredLine = 0;
  static constexpr int kAlignWrapped = 1;

  explicit PromptBox(QWidget* parent = nullptr);

  void SetButton1(bool shown, const QString& caption);
  // Only honoured together with the first button.
  void SetButton2(bool shown, const QString& caption);

  // Shows the box: modally, or, when it is already on screen, just brings it forward and
  // returns at once. Returns 1; result() then tells which button closed it.
  int Show(const QString& caption, const QString& text, int alignment);
  std::uint8_t result() const { return result_; }

  // The configuration the built-in web buttons read (ClientState::configPath).
  static void SetConfigPath(std::string path);

  QRect textRect() const;

 protected:
  void draw(QPainter& painter) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void PlaceButtons();
  void OnButton1();
  void OnButton2();

  QString text_;
  int alignment_ = kAlignCentredLine;
  bool button1Shown_ = false;
  bool button2Shown_ = false;
  QString button1Caption_;
  QString button2Caption_;
  std::uint8_t result_ = 0;
  SkinButton* button1_ = nullptr;  // children, made when shown
  SkinButton* button2_ = nullptr;
};

// What a window asks of the user through a prompt box.
struct PromptRequest {
  PromptRequest(QString caption_, QString text_, int alignment_ = PromptBox::kAlignCentredLine,
                QString button1_ = {}, QString button2_ = {})
      : caption(std::move(caption_)),
        text(std::move(text_)),
        alignment(alignment_),
        button1(std::move(button1_)),
        button2(std::move(button2_)) {}

  QString caption;
  QString text;
  int alignment = PromptBox::kAlignCentredLine;
  QString button1;  // empty: not shown
  QString button2;
};

// Shows request in a modal PromptBox over parent and returns its result. Tests replace the
// handler to answer boxes without a modal loop.
std::uint8_t Prompt(QWidget* parent, const PromptRequest& request);
using PromptHandler = std::function<std::uint8_t(QWidget* parent, const PromptRequest&)>;
void SetPromptHandler(PromptHandler handler);

}  // namespace corvel
