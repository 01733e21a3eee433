#include "preview.h"

#include <QColor>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QRect>
#include <QString>

#include <algorithm>

#include "ui/main_window_layout.h"

namespace corvel::skin_art {
namespace {

namespace layout = corvel::layout;
namespace frame = corvel::layout::frame;

constexpr int kCaptionPixels = 13;  // 10 pt at 96 dpi
constexpr int kTitlePixels = 16;    // dialog titles: 12 pt
const QColor kDesktop(0x8E, 0x99, 0xA6);

QColor FromRgb(layout::Rgb c) {
  return QColor(c.red, c.green, c.blue);
}

QRect ToQRect(layout::Rect r) {
  return QRect(r.left, r.top, r.width(), r.height());
}

const QImage& Find(const std::vector<Picture>& skin, const QString& name) {
  static const QImage kNone;
  for (const Picture& picture : skin) {
    if (picture.name == name) return picture.image;
  }
  return kNone;
}

QImage Sheet(int width, int height, const QColor& ground) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(ground);
  return image;
}

// Shows `window` through a rounded mask the way the desktop shows a shaped window: no smoothing.
void DrawMasked(QPainter& p, const QPoint& at, const QImage& window) {
  QPainterPath mask;
  const double radius = layout::kCornerMask / 2.0;
  mask.addRoundedRect(QRectF(at, window.size()), radius, radius);
  p.save();
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setClipPath(mask);
  p.drawImage(at, window);
  p.restore();
}

void DrawCaption(QPainter& p, const QRect& rect, const QString& text, const QColor& ink) {
  p.setFont(ArtFont(kCaptionPixels));
  p.setPen(ink);
  p.drawText(rect, Qt::AlignCenter, text);
}

// A picture of one tab's contents, as the client's status panel might show it.
void DrawStatusPanel(QPainter& p, const std::vector<Picture>& skin) {
  const QRect area = ToQRect(layout::kContentArea);
  p.fillRect(area, FromRgb(layout::kPanelBackground));
  const QImage& picture = Find(skin, "138.png");
  const QPoint at(area.left() + 12, area.top() + 14);
  p.drawImage(at, picture);
  const int text_x = at.x() + picture.width() + 12;
  p.setFont(ArtFont(15, true));
  p.setPen(FromRgb(layout::kCaptionDark));
  p.drawText(QPoint(text_x, at.y() + 24), QString::fromUtf8("正在通话"));
  p.setFont(ArtFont(12));
  p.setPen(QColor(0x6A, 0x78, 0x89));
  p.drawText(QPoint(text_x, at.y() + 44), QString::fromUtf8("13800138000"));
  p.drawText(QPoint(text_x, at.y() + 61), QString::fromUtf8("00:01:27"));

  // Three sample rows, each with one of the panel icons.
  const char* rows[][3] = {{"140.png", "13912345678", "10:24"},
                           {"141.png", "02188886666", "09:51"},
                           {"142.png", "13600001111", "昨天"}};
  int y = area.top() + 96;
  for (const auto& row : rows) {
    p.fillRect(QRect(area.left() + 8, y - 4, area.width() - 16, 1), QColor(0xE6, 0xEA, 0xEF));
    p.drawImage(QPoint(area.left() + 12, y + 2), Find(skin, QString::fromUtf8(row[0])));
    p.setFont(ArtFont(12));
    p.setPen(FromRgb(layout::kCaptionDark));
    p.drawText(QPoint(area.left() + 36, y + 15), QString::fromUtf8(row[1]));
    p.setPen(QColor(0x6A, 0x78, 0x89));
    p.drawText(QRect(area.left(), y, area.width() - 12, 20), Qt::AlignRight | Qt::AlignVCenter,
               QString::fromUtf8(row[2]));
    y += 23;
  }
}

QImage MockMainWindow(const std::vector<Picture>& skin, const QString& skin_name) {
  QImage window = Sheet(layout::kWindowSize.width, layout::kWindowSize.height,
                        FromRgb(layout::kWindowBackground));
  QPainter p(&window);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  p.drawImage(0, 0, Find(skin, skin_name));
  p.drawImage(layout::kLogo.left, layout::kLogo.top, Find(skin, "137.png"));

  p.setFont(ArtFont(kCaptionPixels));
  p.setPen(FromRgb(layout::kTitleInk));
  p.drawText(ToQRect(layout::kTitleText), Qt::AlignLeft | Qt::AlignVCenter,
             QString::fromUtf8("Corvel 网络电话"));

  const char* account[] = {"账号：8001234567", "余额：36.80 元", "手机：139****5678",
                           "状态：已登录"};
  p.setFont(ArtFont(12));
  p.setPen(FromRgb(layout::kAccountInk));
  for (int i = 0; i < 4; ++i) {
    p.drawText(QRect(layout::kAccountLinesX, layout::kAccountLineTops[i],
                     layout::kAccountArea.right - layout::kAccountLinesX, 17),
               Qt::AlignLeft | Qt::AlignVCenter, QString::fromUtf8(account[i]));
  }

  DrawStatusPanel(p, skin);

  for (const layout::ControlPlace& place : layout::kMainWindowControls) {
    if (place.caption == nullptr || place.ink == layout::Ink::kNone) continue;
    const QColor ink =
        FromRgb(place.ink == layout::Ink::kDark ? layout::kCaptionDark : layout::kCaptionLight);
    QRect rect = ToQRect(place.rect);
    if (place.id == 1026 || place.id == 1027) rect.translate(layout::kCallCaptionShift, 0);
    DrawCaption(p, rect, QString::fromUtf8(place.caption), ink);
  }

  p.setFont(ArtFont(17));
  p.setPen(FromRgb(layout::kCaptionDark));
  p.drawText(ToQRect(layout::kNumberEdit), Qt::AlignLeft | Qt::AlignVCenter,
             QString::fromUtf8("13800138000"));

  QFont link = ArtFont(kCaptionPixels);
  link.setUnderline(true);
  p.setFont(link);
  p.setPen(FromRgb(layout::kLinkInk));
  p.drawText(ToQRect(layout::kLink), Qt::AlignCenter,
             QString::fromUtf8(layout::FindControl(1028)->caption));
  return window;
}

// Frames a width x height dialog from the slices of image 130 as the client does.
QImage FramedDialog(const QImage& skin, int width, int height, const QString& title) {
  QImage dialog = Sheet(width, height, FromRgb(frame::kDialogBody));
  QPainter p(&dialog);
  const auto piece = [&](const QRect& target, layout::Rect source) {
    p.drawImage(target, skin, ToQRect(source));
  };
  const int t = frame::kThickness;
  const int c = frame::kCornerHeight;
  piece(QRect(0, 0, frame::kTopLeft.width(), c), frame::kTopLeft);
  piece(QRect(width - t, 0, t, c), frame::kTopRight);
  piece(QRect(frame::kTopLeft.width(), 0, width - frame::kTopLeft.width() - t, t), frame::kTopEdge);
  piece(QRect(0, c, t, height - c - t), frame::kLeftEdge);
  piece(QRect(width - t, c, t, height - c - t), frame::kRightEdge);
  piece(QRect(0, height - t, frame::kBottomLeft.width(), t), frame::kBottomLeft);
  piece(QRect(width - t, height - t, t, t), frame::kBottomRight);
  piece(QRect(frame::kBottomLeft.width(), height - t, width - frame::kBottomLeft.width() - t, t),
        frame::kBottomEdge);
  p.setPen(FromRgb(frame::kDialogLine));
  p.drawLine(10, frame::kDialogLineY, width - 10, frame::kDialogLineY);
  p.setRenderHint(QPainter::TextAntialiasing);
  p.setFont(ArtFont(kTitlePixels));
  p.setPen(FromRgb(layout::kTitleInk));
  p.drawText(QRect(20, 10, width - 70, 22), Qt::AlignLeft | Qt::AlignVCenter, title);
  return dialog;
}

void DrawField(QPainter& p, const QRect& rect, const QString& text) {
  p.fillRect(rect, Qt::white);
  p.setPen(QColor(0xB4, 0xC1, 0xCE));
  p.drawRect(rect.adjusted(0, 0, -1, -1));
  p.setFont(ArtFont(12));
  p.setPen(FromRgb(layout::kCaptionDark));
  p.drawText(rect.adjusted(6, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, text);
}

void DrawButtonState(QPainter& p, const QPoint& at, const QImage& strip, int state, QSize size) {
  p.drawImage(at, strip, QRect(0, state * size.height(), size.width(), size.height()));
}

QImage MockLoginDialog(const std::vector<Picture>& skin, int width, int height) {
  QImage dialog = FramedDialog(Find(skin, "130.png"), width, height, QString::fromUtf8("登录"));
  QPainter p(&dialog);
  p.setRenderHint(QPainter::TextAntialiasing);
  DrawButtonState(p, QPoint(width - 30, 13), Find(skin, "133.png"), 0, QSize(15, 15));

  p.setFont(ArtFont(12));
  p.setPen(FromRgb(layout::kCaptionDark));
  p.drawText(QRect(24, 46, 50, 22), Qt::AlignRight | Qt::AlignVCenter, QString::fromUtf8("账号："));
  p.drawText(QRect(24, 76, 50, 22), Qt::AlignRight | Qt::AlignVCenter, QString::fromUtf8("密码："));
  // The combo box: a white field with the arrow piece at its right end.
  const QRect account(80, 46, width - 130, 22);
  p.fillRect(account.adjusted(0, 1, 0, 0), Qt::white);
  p.drawText(account.adjusted(4, 1, -22, 0), Qt::AlignLeft | Qt::AlignVCenter,
             QString::fromUtf8("8001234567"));
  DrawButtonState(p, QPoint(account.right() - 21, account.top()), Find(skin, "143.png"), 0,
                  QSize(22, 22));
  DrawField(p, QRect(80, 76, width - 130, 22), QString::fromUtf8("●●●●●●"));
  DrawButtonState(p, QPoint(width - 46, 76), Find(skin, "144.png"), 0, QSize(22, 22));

  p.setFont(ArtFont(12));
  p.setPen(FromRgb(layout::kCaptionDark));
  p.drawText(QRect(80, 104, 120, 20), Qt::AlignLeft | Qt::AlignVCenter,
             QString::fromUtf8("☑ 记住密码"));

  const QImage& button = Find(skin, "132.png");
  const int y = height - 12 - 30;
  const char* captions[] = {"登录", "取消"};
  for (int i = 0; i < 2; ++i) {
    const QPoint at(width - 12 - 10 - (2 - i) * 57 - (1 - i) * 8, y);
    DrawButtonState(p, at, button, i == 0 ? 1 : 0, QSize(57, 20));
    DrawCaption(p, QRect(at, QSize(57, 20)), QString::fromUtf8(captions[i]),
                FromRgb(layout::kCaptionLight));
  }
  return dialog;
}

QImage DialogSheet(const std::vector<Picture>& skin) {
  constexpr int kPad = 20;
  const QImage login = MockLoginDialog(skin, 340, 180);
  const QImage prompt = FramedDialog(Find(skin, "130.png"), 260, 120, QString::fromUtf8("提示"));
  const QImage wide = FramedDialog(Find(skin, "130.png"), 460, 300, QString::fromUtf8("会议"));
  QImage sheet = Sheet(kPad * 3 + login.width() + wide.width(),
                       kPad * 3 + login.height() + prompt.height() + 20, kDesktop);
  QPainter p(&sheet);
  DrawMasked(p, QPoint(kPad, kPad), login);
  DrawMasked(p, QPoint(kPad, kPad * 2 + login.height()), prompt);
  DrawMasked(p, QPoint(kPad * 2 + login.width(), kPad), wide);
  return sheet;
}

QImage MainSheet(const std::vector<Picture>& skin) {
  constexpr int kPad = 20;
  const QString skins[] = {"130.png", "131.png", "129.png"};
  QImage sheet = Sheet(kPad * 4 + layout::kWindowSize.width * 3,
                       kPad * 2 + layout::kWindowSize.height, kDesktop);
  QPainter p(&sheet);
  for (int i = 0; i < 3; ++i) {
    DrawMasked(p, QPoint(kPad + i * (layout::kWindowSize.width + kPad), kPad),
               MockMainWindow(skin, skins[i]));
  }
  return sheet;
}

// The same few buttons cut from the normal, hover and pressed skins, enlarged.
QImage StatesSheet(const std::vector<Picture>& skin) {
  constexpr int kZoom = 3;
  constexpr int kGap = 6;
  const int ids[] = {1000, 1001, 1002, 1006, 1011, 1015, 1023, 1026, 1027};
  const QString skins[] = {"130.png", "131.png", "129.png"};
  int width = 0;
  for (int id : ids)
    width = std::max(width, layout::FindControl(id)->rect.width());
  int height = kGap;
  for (int id : ids)
    height += layout::FindControl(id)->rect.height() * kZoom + kGap;
  QImage sheet = Sheet(kGap + 3 * (width * kZoom + kGap), height, QColor(0xFF, 0xFF, 0xFF));
  QPainter p(&sheet);
  int y = kGap;
  for (int id : ids) {
    const QRect source = ToQRect(layout::FindControl(id)->rect);
    for (int i = 0; i < 3; ++i) {
      const QImage crop = Find(skin, skins[i]).copy(source);
      p.drawImage(
          QRect(kGap + i * (width * kZoom + kGap), y, crop.width() * kZoom, crop.height() * kZoom),
          crop);
    }
    y += source.height() * kZoom + kGap;
  }
  return sheet;
}

// Every small image at four times its size on the dialog body colour.
QImage PiecesSheet(const std::vector<Picture>& skin) {
  constexpr int kZoom = 4;
  constexpr int kGap = 12;
  const QString names[] = {"132.png", "133.png", "134.png", "143.png", "144.png",
                           "137.png", "138.png", "140.png", "141.png", "142.png"};
  int width = kGap;
  int height = 0;
  for (const QString& name : names) {
    const QImage& image = Find(skin, name);
    width += image.width() * kZoom + kGap;
    height = std::max(height, image.height() * kZoom);
  }
  QImage sheet = Sheet(width, height + 2 * kGap, FromRgb(frame::kDialogBody));
  QPainter p(&sheet);
  int x = kGap;
  for (const QString& name : names) {
    const QImage& image = Find(skin, name);
    p.drawImage(QRect(x, kGap, image.width() * kZoom, image.height() * kZoom), image);
    x += image.width() * kZoom + kGap;
  }
  return sheet;
}

}  // namespace

std::vector<Picture> RenderPreviews(const std::vector<Picture>& skin) {
  return {
      {"preview-main.png", MainSheet(skin)},
      {"preview-dialogs.png", DialogSheet(skin)},
      {"preview-states.png", StatesSheet(skin)},
      {"preview-pieces.png", PiecesSheet(skin)},
  };
}

}  // namespace corvel::skin_art
