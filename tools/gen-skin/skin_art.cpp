#include "skin_art.h"

#include <QColor>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPointF>
#include <QRectF>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string_view>
#include <vector>

#include "ui/main_window_layout.h"

namespace corvel::skin_art {
namespace {

namespace layout = corvel::layout;
namespace frame = corvel::layout::frame;

QColor FromRgb(layout::Rgb c) {
  return QColor(c.red, c.green, c.blue);
}

QRect ToQRect(layout::Rect r) {
  return QRect(r.left, r.top, r.width(), r.height());
}

QColor Mix(const QColor& a, const QColor& b, double t) {
  const auto channel = [t](int from, int to) {
    return static_cast<int>(std::lround(from + (to - from) * t));
  };
  return QColor(channel(a.red(), b.red()), channel(a.green(), b.green()),
                channel(a.blue(), b.blue()), channel(a.alpha(), b.alpha()));
}

QColor Lighter(const QColor& c, double t) {
  return Mix(c, QColor(255, 255, 255, c.alpha()), t);
}
QColor Darker(const QColor& c, double t) {
  return Mix(c, QColor(0, 0, 0, c.alpha()), t);
}

QColor WithAlpha(QColor c, int alpha) {
  c.setAlpha(alpha);
  return c;
}

const QColor kTeal(0x0E, 0x7C, 0x86);
const QColor kBlue(0x1D, 0x4E, 0x89);
const QColor kBody = FromRgb(frame::kDialogBody);
const QColor kLine = FromRgb(frame::kDialogLine);
const QColor kPanel = FromRgb(layout::kPanelBackground);
const QColor kPanelBorder(0xC9, 0xD2, 0xDC);
const QColor kInk = FromRgb(layout::kCaptionDark);
const QColor kInkMuted(0x6A, 0x78, 0x89);
const QColor kShadow(16, 42, 67);

QImage Canvas(int width, int height, const QColor& ground) {
  QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
  image.fill(ground);
  return image;
}

void Smooth(QPainter& p) {
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  p.setRenderHint(QPainter::SmoothPixmapTransform);
}

QImage Opaque(const QImage& image) {
  return image.convertToFormat(QImage::Format_RGB32);
}

// ---------------------------------------------------------------------------------------------
// Frame

// The colour k pixels in from the window's outer edge: a bezel running from the brand blue at the
// rim to teal at its lip, a dark lip, then a short shadow falling onto the body. Every edge uses
// the same run, so any slice of it stretches without a seam.
QColor FrameRing(int k) {
  if (k < 8) return Mix(kBlue, kTeal, k / 7.0);
  switch (k) {
    case 8:
      return Darker(kTeal, 0.3);
    case 9:
      return Mix(kBody, kBlue, 0.16);
    case 10:
      return Mix(kBody, kBlue, 0.06);
    default:
      return kBody;
  }
}

// Concentric rounded rings, so the corners keep the run of colours of the straight edges. The
// rounding stays within 11 px of each corner: the narrowest corner pieces are 12 px, and their
// inner row or column must match the straight edge they meet.
void PaintFrame(QPainter& p, const QRectF& outer) {
  constexpr double kOuterRadius = 11.0;
  p.fillRect(outer, FrameRing(0));
  for (int k = 1; k <= frame::kThickness; ++k) {
    const double radius = std::max(kOuterRadius - k, 0.0);
    QPainterPath ring;
    ring.addRoundedRect(outer.adjusted(k, k, -k, -k), radius, radius);
    p.fillPath(ring, FrameRing(k));
  }
}

// ---------------------------------------------------------------------------------------------
// Button faces

struct Face {
  QColor top, bottom, border;
  QColor highlight;  // the inner top line of a raised face; transparent for none
  bool raised = true;
};

enum class Tone { kLight, kBrand, kGreen, kRed, kTab };

Face MakeFace(Tone tone, State state) {
  const QColor clear(0, 0, 0, 0);
  switch (tone) {
    case Tone::kLight:
    case Tone::kTab:
      if (state == State::kHover) {
        return {QColor(0xFF, 0xFF, 0xFF), QColor(0xF7, 0xFA, 0xFC), QColor(0x7F, 0xB2, 0xC3),
                clear};
      }
      if (state == State::kPressed) {
        if (tone == Tone::kTab) {
          return {QColor(0xC4, 0xD9, 0xE2), QColor(0xD6, 0xE6, 0xEC), QColor(0x6F, 0xA3, 0xB5),
                  clear, false};
        }
        return {QColor(0xCF, 0xD9, 0xE3), QColor(0xDF, 0xE6, 0xED), QColor(0xA2, 0xB0, 0xBF), clear,
                false};
      }
      return {QColor(0xFB, 0xFC, 0xFD), QColor(0xEA, 0xEF, 0xF4), QColor(0xC2, 0xCC, 0xD7), clear};
    case Tone::kBrand: {
      const QColor top(0x0F, 0x75, 0x82);
      const QColor bottom(0x1B, 0x52, 0x8A);
      if (state == State::kHover) {
        return {Lighter(top, 0.1), Lighter(bottom, 0.1), Darker(bottom, 0.1),
                QColor(255, 255, 255, 70)};
      }
      if (state == State::kPressed) {
        return {Darker(bottom, 0.22), Darker(top, 0.18), Darker(bottom, 0.35), clear, false};
      }
      return {top, bottom, Darker(bottom, 0.2), QColor(255, 255, 255, 50)};
    }
    case Tone::kGreen: {
      const QColor top(0x14, 0x85, 0x4C);
      const QColor bottom(0x0B, 0x69, 0x3A);
      if (state == State::kHover) {
        return {Lighter(top, 0.06), Lighter(bottom, 0.09), Darker(bottom, 0.1),
                QColor(255, 255, 255, 70)};
      }
      if (state == State::kPressed) {
        return {Darker(bottom, 0.2), Darker(top, 0.15), Darker(bottom, 0.35), clear, false};
      }
      return {top, bottom, Darker(bottom, 0.2), QColor(255, 255, 255, 50)};
    }
    case Tone::kRed: {
      const QColor top(0xD2, 0x3F, 0x38);
      const QColor bottom(0xB0, 0x2B, 0x27);
      if (state == State::kHover) {
        return {Lighter(top, 0.06), Lighter(bottom, 0.08), Darker(bottom, 0.1),
                QColor(255, 255, 255, 70)};
      }
      if (state == State::kPressed) {
        return {Darker(bottom, 0.2), Darker(top, 0.15), Darker(bottom, 0.35), clear, false};
      }
      return {top, bottom, Darker(bottom, 0.2), QColor(255, 255, 255, 50)};
    }
  }
  return {};
}

// The body a face fills inside its cell: raised faces keep the bottom row for their shadow,
// pressed faces sink into it.
QRectF FaceBody(const QRectF& cell, bool raised) {
  return raised ? cell.adjusted(0.5, 0.5, -0.5, -1.5) : cell.adjusted(0.5, 1.5, -0.5, -0.5);
}

void PaintFace(QPainter& p, const QRectF& cell, const Face& face, double radius) {
  const QRectF body = FaceBody(cell, face.raised);
  QPainterPath outline;
  outline.addRoundedRect(body, radius, radius);
  if (face.raised) {
    QPainterPath shadow;
    shadow.addRoundedRect(body.translated(0, 1), radius, radius);
    p.fillPath(shadow, WithAlpha(kShadow, 46));
  }
  QLinearGradient fill(body.topLeft(), body.bottomLeft());
  fill.setColorAt(0, face.top);
  fill.setColorAt(1, face.bottom);
  p.fillPath(outline, fill);

  const double left = body.left() + radius - 1;
  const double right = body.right() - radius + 1;
  if (face.raised) {
    if (face.highlight.alpha() > 0) {
      p.setPen(QPen(face.highlight, 1));
      p.drawLine(QPointF(left, body.top() + 1), QPointF(right, body.top() + 1));
    }
  } else {
    // Inset: light falls past the upper lip, so the top inside edge is in shadow.
    p.setPen(QPen(WithAlpha(kShadow, 40), 1));
    p.drawLine(QPointF(left, body.top() + 1), QPointF(right, body.top() + 1));
    p.setPen(QPen(WithAlpha(kShadow, 16), 1));
    p.drawLine(QPointF(left, body.top() + 2), QPointF(right, body.top() + 2));
  }
  p.strokePath(outline, QPen(face.border, 1));
}

// The small title-bar buttons show no face until the pointer is on them.
void PaintTitleFace(QPainter& p, const QRectF& cell, State state) {
  if (state == State::kNormal) return;
  QPainterPath outline;
  outline.addRoundedRect(cell.adjusted(0.5, 0.5, -0.5, -0.5), 3.5, 3.5);
  if (state == State::kHover) {
    p.fillPath(outline, QColor(0xFF, 0xFF, 0xFF));
    p.strokePath(outline, QPen(QColor(0xC4, 0xCE, 0xD8), 1));
  } else {
    p.fillPath(outline, QColor(0xC6, 0xD1, 0xDC));
    p.strokePath(outline, QPen(QColor(0xA4, 0xB2, 0xC1), 1));
  }
}

QColor TitleGlyphColour(State state) {
  switch (state) {
    case State::kHover:
      return kBlue;
    case State::kPressed:
      return kInk;
    case State::kNormal:
      break;
  }
  return QColor(0x55, 0x63, 0x73);
}

enum class TitleGlyph { kMinus, kCross };

void PaintTitleButton(QPainter& p, const QRectF& cell, State state, TitleGlyph glyph) {
  PaintTitleFace(p, cell, state);
  const QPointF c = cell.center();
  QPen pen(TitleGlyphColour(state), 1.6, Qt::SolidLine, Qt::RoundCap);
  p.setPen(pen);
  if (glyph == TitleGlyph::kMinus) {
    p.drawLine(QPointF(c.x() - 3.5, c.y() + 0.5), QPointF(c.x() + 3.5, c.y() + 0.5));
  } else {
    constexpr double kArm = 3.2;
    p.drawLine(QPointF(c.x() - kArm, c.y() - kArm), QPointF(c.x() + kArm, c.y() + kArm));
    p.drawLine(QPointF(c.x() - kArm, c.y() + kArm), QPointF(c.x() + kArm, c.y() - kArm));
  }
}

// The chosen tab is shown with its pressed face; a teal bar under it marks it as the current one.
void PaintTab(QPainter& p, const QRectF& cell, State state) {
  const Face face = MakeFace(Tone::kTab, state);
  PaintFace(p, cell, face, 5);
  if (state == State::kPressed) {
    const QRectF body = FaceBody(cell, false);
    p.fillRect(QRectF(body.left() + 10, body.bottom() - 3.5, body.width() - 20, 2), kTeal);
  }
}

// ---------------------------------------------------------------------------------------------
// Dial pad keys

struct KeyLabel {
  const char* digit;
  const char* letters;
};

KeyLabel LabelFor(std::string_view role) {
  static constexpr struct {
    std::string_view role;
    KeyLabel label;
  } kLabels[] = {
      {"key-1", {"1", ""}},     {"key-2", {"2", "ABC"}}, {"key-3", {"3", "DEF"}},
      {"key-4", {"4", "GHI"}},  {"key-5", {"5", "JKL"}}, {"key-6", {"6", "MNO"}},
      {"key-7", {"7", "PQRS"}}, {"key-8", {"8", "TUV"}}, {"key-9", {"9", "WXYZ"}},
      {"key-star", {"*", ""}},  {"key-0", {"0", "+"}},   {"key-hash", {"#", ""}},
  };
  for (const auto& entry : kLabels) {
    if (entry.role == role) return entry.label;
  }
  return {"", ""};
}

// Star and hash are drawn, not typeset: font glyphs for them sit too high to centre.
void PaintStar(QPainter& p, const QPointF& c, const QColor& colour) {
  p.setPen(QPen(colour, 1.8, Qt::SolidLine, Qt::RoundCap));
  constexpr double kArm = 4.6;
  for (int i = 0; i < 3; ++i) {
    const double angle = (90.0 + i * 60.0) * std::numbers::pi / 180.0;
    const QPointF d(std::cos(angle) * kArm, std::sin(angle) * kArm);
    p.drawLine(c - d, c + d);
  }
}

void PaintHash(QPainter& p, const QPointF& c, const QColor& colour) {
  p.setPen(QPen(colour, 1.6, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(c.x() - 1.2, c.y() - 5.5), QPointF(c.x() - 2.6, c.y() + 5.5));
  p.drawLine(QPointF(c.x() + 2.8, c.y() - 5.5), QPointF(c.x() + 1.4, c.y() + 5.5));
  p.drawLine(QPointF(c.x() - 4.6, c.y() - 2.0), QPointF(c.x() + 4.8, c.y() - 2.0));
  p.drawLine(QPointF(c.x() - 5.2, c.y() + 2.2), QPointF(c.x() + 4.2, c.y() + 2.2));
}

void PaintKey(QPainter& p, const QRectF& cell, State state, std::string_view role) {
  const Face face = MakeFace(Tone::kLight, state);
  PaintFace(p, cell, face, 5);
  const QRectF body = FaceBody(cell, face.raised);
  const QPointF centre(body.center().x(), body.center().y() + 0.5);
  const QColor ink = state == State::kHover ? Darker(kBlue, 0.15) : kInk;

  const KeyLabel label = LabelFor(role);
  const std::string_view digit = label.digit;
  if (digit == "*") return PaintStar(p, centre, ink);
  if (digit == "#") return PaintHash(p, centre, ink);

  const QFont digit_font = ArtFont(17);
  // A lone plus sign at the letters' size would be too small to see.
  const QFont letter_font = ArtFont(label.letters == std::string_view("+") ? 13 : 9);
  const QString digit_text = QString::fromUtf8(label.digit);
  const QString letters = QString::fromUtf8(label.letters);
  const QFontMetricsF digit_metrics(digit_font);
  const QFontMetricsF letter_metrics(letter_font);
  constexpr double kGap = 5.0;
  const double digit_width = digit_metrics.horizontalAdvance(digit_text);
  const double letters_width = letters.isEmpty() ? 0.0 : letter_metrics.horizontalAdvance(letters);
  const double total = digit_width + (letters.isEmpty() ? 0.0 : kGap + letters_width);
  const double x = std::round(centre.x() - total / 2);
  // Digits are as tall as capitals, so centring the cap height centres the digit.
  const double baseline = std::round(centre.y() + digit_metrics.capHeight() / 2);

  p.setFont(digit_font);
  p.setPen(ink);
  p.drawText(QPointF(x, baseline), digit_text);
  if (!letters.isEmpty()) {
    p.setFont(letter_font);
    p.setPen(state == State::kHover ? kTeal : kInkMuted);
    p.drawText(QPointF(x + digit_width + kGap, baseline), letters);
  }
}

// ---------------------------------------------------------------------------------------------
// Brand mark: the rounded square of the desktop icon with its handset and sound waves

// The handset lying level with its cups up; the wide round join rounds its corners.
QPainterPath LevelHandset() {
  QPainterPath path;
  path.moveTo(-86, -20);
  path.lineTo(-48, -14);
  path.lineTo(-44, 4);
  path.quadTo(0, 30, 44, 4);
  path.lineTo(48, -14);
  path.lineTo(86, -20);
  path.quadTo(90, 2, 78, 14);
  path.quadTo(0, 70, -78, 14);
  path.quadTo(-90, 2, -86, -20);
  path.closeSubpath();
  QPainterPathStroker stroker;
  stroker.setWidth(18);
  stroker.setJoinStyle(Qt::RoundJoin);
  stroker.setCapStyle(Qt::RoundCap);
  return stroker.createStroke(path).united(path).simplified();
}

// Where the desktop icon puts the handset: turned to the usual telephone pose.
QPainterPath HandsetOutline() {
  QTransform place;
  place.translate(118, 138);
  place.rotate(45);
  return place.map(LevelHandset());
}

// A white handset fitted into `box`: lifted for calling, laid down (cups turned over) for hanging
// up.
void PaintHandsetGlyph(QPainter& p, const QRectF& box, bool lifted, const QColor& colour) {
  QTransform pose;
  if (lifted) {
    pose.rotate(45);
  } else {
    pose.scale(1, -1);
  }
  const QPainterPath shape = pose.map(LevelHandset());
  const QRectF bounds = shape.boundingRect();
  const double scale = std::min(box.width() / bounds.width(), box.height() / bounds.height());
  QTransform fit;
  fit.translate(box.center().x(), box.center().y());
  fit.scale(scale, scale);
  fit.translate(-bounds.center().x(), -bounds.center().y());
  p.fillPath(fit.map(shape), colour);
}

// Both arcs share one centre, found from the icon's end points.
QPainterPath WavesOutline() {
  const QPointF centre(138.7, 123.3);
  QPainterPath arcs;
  const double radii[] = {44.0, 78.0};
  const double starts[] = {80.35, 81.75};
  const double ends[] = {9.65, 8.25};
  for (int i = 0; i < 2; ++i) {
    const QRectF box(centre.x() - radii[i], centre.y() - radii[i], 2 * radii[i], 2 * radii[i]);
    arcs.arcMoveTo(box, starts[i]);
    arcs.arcTo(box, starts[i], ends[i] - starts[i]);
  }
  QPainterPathStroker stroker;
  stroker.setWidth(14);
  stroker.setCapStyle(Qt::RoundCap);
  return stroker.createStroke(arcs).simplified();
}

// Box blur in three passes, close to a Gaussian; integer sums keep it exact between runs.
void BlurAlpha(std::vector<int>& alpha, int width, int height, int radius) {
  std::vector<int> line;
  const auto blur_line = [&](int count, auto&& at) {
    line.assign(static_cast<std::size_t>(count), 0);
    for (int i = 0; i < count; ++i) {
      int sum = 0;
      for (int d = -radius; d <= radius; ++d) {
        // Beyond the picture's edge counts as empty.
        const int j = i + d;
        if (j >= 0 && j < count) sum += at(j);
      }
      line[static_cast<std::size_t>(i)] = (sum + radius) / (2 * radius + 1);
    }
    for (int i = 0; i < count; ++i)
      at(i) = line[static_cast<std::size_t>(i)];
  };
  for (int pass = 0; pass < 3; ++pass) {
    for (int y = 0; y < height; ++y) {
      blur_line(width,
                [&](int x) -> int& { return alpha[static_cast<std::size_t>(y * width + x)]; });
    }
    for (int x = 0; x < width; ++x) {
      blur_line(height,
                [&](int y) -> int& { return alpha[static_cast<std::size_t>(y * width + x)]; });
    }
  }
}

// A soft shadow of `shape` (in device pixels of a width x height picture).
QImage SoftShadow(const QPainterPath& shape, int width, int height, int radius, QColor colour) {
  QImage coverage = Canvas(width, height, QColor(0, 0, 0, 0));
  {
    QPainter p(&coverage);
    Smooth(p);
    p.fillPath(shape, Qt::black);
  }
  std::vector<int> alpha(static_cast<std::size_t>(width * height));
  for (int y = 0; y < height; ++y) {
    const QRgb* row = reinterpret_cast<const QRgb*>(coverage.constScanLine(y));
    for (int x = 0; x < width; ++x)
      alpha[static_cast<std::size_t>(y * width + x)] = qAlpha(row[x]);
  }
  BlurAlpha(alpha, width, height, radius);
  QImage shadow = Canvas(width, height, QColor(0, 0, 0, 0));
  for (int y = 0; y < height; ++y) {
    QRgb* row = reinterpret_cast<QRgb*>(shadow.scanLine(y));
    for (int x = 0; x < width; ++x) {
      const int a = alpha[static_cast<std::size_t>(y * width + x)] * colour.alpha() / 255;
      row[x] = qPremultiply(qRgba(colour.red(), colour.green(), colour.blue(), a));
    }
  }
  return shadow;
}

enum class Badge { kRoundedSquare, kCircle };

// Paints the mark so that the icon's 224-unit square fills `square`.
void PaintMark(QPainter& p, const QRectF& square, Badge badge) {
  const double scale = square.width() / 224.0;
  QTransform to_device;
  to_device.translate(square.left(), square.top());
  to_device.scale(scale, scale);
  to_device.translate(-16, -16);

  QPainterPath ground;
  if (badge == Badge::kRoundedSquare) {
    ground.addRoundedRect(QRectF(16, 16, 224, 224), 50, 50);
  } else {
    ground.addEllipse(QRectF(16, 16, 224, 224));
  }
  QLinearGradient brand(QPointF(16, 16), QPointF(240, 240));
  brand.setColorAt(0, kTeal);
  brand.setColorAt(1, kBlue);
  QLinearGradient sheen(QPointF(0, 16), QPointF(0, 240));
  sheen.setColorAt(0, QColor(255, 255, 255, 41));
  sheen.setColorAt(0.5, QColor(255, 255, 255, 0));

  QPainterPath content = WavesOutline().united(HandsetOutline());
  if (badge == Badge::kCircle) {
    // The circle is narrower at the corners than the square, so the picture shrinks into it.
    QTransform inward;
    inward.translate(128, 128);
    inward.scale(0.86, 0.86);
    inward.translate(-128, -124);
    content = inward.map(content);
  }

  p.save();
  p.setTransform(to_device, true);
  p.fillPath(ground, brand);
  p.fillPath(ground, sheen);
  p.restore();

  const QTransform world = p.worldTransform();
  const QRect device =
      p.device() ? QRect(0, 0, p.device()->width(), p.device()->height()) : QRect();
  const int blur = std::max(1, static_cast<int>(std::lround(3.0 * scale)));
  QTransform shadow_offset = to_device;
  shadow_offset *= QTransform::fromTranslate(0, std::max(1.0, 4.0 * scale));
  const QImage shadow = SoftShadow((shadow_offset * world).map(content), device.width(),
                                   device.height(), blur, QColor(5, 31, 56, 90));
  p.save();
  p.resetTransform();
  p.setClipPath((to_device * world).map(ground));
  p.drawImage(0, 0, shadow);
  p.restore();

  QLinearGradient white(QPointF(0, 40), QPointF(0, 230));
  white.setColorAt(0, QColor(0xFF, 0xFF, 0xFF));
  white.setColorAt(1, QColor(0xE3, 0xF1, 0xF4));
  p.save();
  p.setTransform(to_device, true);
  p.fillPath(content, white);
  p.restore();
}

// ---------------------------------------------------------------------------------------------
// Pictures

QImage Logo() {
  QImage image = Canvas(layout::kLogo.width(), layout::kLogo.height(), kBody);
  QPainter p(&image);
  Smooth(p);
  PaintMark(p, QRectF(21, 3, 48, 48), Badge::kRoundedSquare);

  QFont font = ArtFont(17, true);
  font.setLetterSpacing(QFont::AbsoluteSpacing, 0.4);
  const QString word = QStringLiteral("Corvel");
  const QFontMetricsF metrics(font);
  const double width = metrics.horizontalAdvance(word);
  const double x = std::round((image.width() - width) / 2);
  const double baseline = 72;
  QLinearGradient ink(QPointF(x, 0), QPointF(x + width, 0));
  ink.setColorAt(0, Darker(kTeal, 0.1));
  ink.setColorAt(1, kBlue);
  p.setFont(font);
  p.setPen(QPen(QBrush(ink), 1));
  p.drawText(QPointF(x, baseline), word);
  return Opaque(image);
}

QImage CallPicture() {
  QImage image = Canvas(66, 66, kPanel);
  QPainter p(&image);
  Smooth(p);
  // A pale halo round the badge, as if the call were ringing out.
  p.setPen(Qt::NoPen);
  p.setBrush(WithAlpha(kTeal, 26));
  p.drawEllipse(QRectF(1, 1, 64, 64));
  p.setBrush(WithAlpha(kTeal, 34));
  p.drawEllipse(QRectF(4, 4, 58, 58));
  PaintMark(p, QRectF(8, 8, 50, 50), Badge::kCircle);
  return Opaque(image);
}

// The status panel's small marks beside the meters and the call timer.
enum class PanelIcon { kMicrophone, kSpeaker, kClock };

QImage PanelIconImage(PanelIcon kind) {
  QImage image = Canvas(16, 16, QColor(0, 0, 0, 0));
  QPainter p(&image);
  Smooth(p);
  QColor colour;
  switch (kind) {
    case PanelIcon::kMicrophone:
      colour = kTeal;
      break;
    case PanelIcon::kSpeaker:
      colour = QColor(0x1D, 0x64, 0xA8);
      break;
    case PanelIcon::kClock:
      colour = QColor(0x4A, 0x5A, 0x6E);
      break;
  }
  QLinearGradient fill(QPointF(0, 0), QPointF(0, 16));
  fill.setColorAt(0, Lighter(colour, 0.12));
  fill.setColorAt(1, Darker(colour, 0.1));
  p.setPen(Qt::NoPen);
  p.setBrush(fill);
  p.drawEllipse(QRectF(0.5, 0.5, 15, 15));

  QPen pen(Qt::white, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  p.setPen(pen);
  switch (kind) {
    case PanelIcon::kMicrophone:
      p.setBrush(Qt::white);
      p.drawRoundedRect(QRectF(6.3, 3.3, 3.4, 6.2), 1.7, 1.7);
      p.setBrush(Qt::NoBrush);
      p.drawArc(QRectF(4.6, 5.2, 6.8, 6.4), 200 * 16, 140 * 16);
      p.drawLine(QPointF(8, 11.6), QPointF(8, 12.9));
      p.drawLine(QPointF(6.2, 12.9), QPointF(9.8, 12.9));
      break;
    case PanelIcon::kSpeaker:
      p.setBrush(Qt::white);
      p.drawPolygon(QPolygonF({QPointF(3.6, 6.6), QPointF(5.6, 6.6), QPointF(8.2, 4.2),
                               QPointF(8.2, 11.8), QPointF(5.6, 9.4), QPointF(3.6, 9.4)}));
      p.setBrush(Qt::NoBrush);
      p.drawArc(QRectF(7.2, 5.6, 4.6, 4.8), -55 * 16, 110 * 16);
      p.drawArc(QRectF(7.0, 3.6, 7.0, 8.8), -55 * 16, 110 * 16);
      break;
    case PanelIcon::kClock:
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(QRectF(3.4, 3.4, 9.2, 9.2));
      p.drawLine(QPointF(8, 8), QPointF(8, 5.2));
      p.drawLine(QPointF(8, 8), QPointF(10.2, 9.2));
      break;
  }
  return image.convertToFormat(QImage::Format_ARGB32);
}

// Three states stacked top to bottom, each painted by `paint` into its own cell.
template <typename PaintCell>
QImage StackedStates(int width, int cell_height, const QColor& ground, PaintCell&& paint) {
  QImage image = Canvas(width, cell_height * 3, ground);
  QPainter p(&image);
  Smooth(p);
  const State states[] = {State::kNormal, State::kHover, State::kPressed};
  for (int i = 0; i < 3; ++i) {
    const QRect cell(0, i * cell_height, width, cell_height);
    p.save();
    p.setClipRect(cell);
    paint(p, QRectF(cell), states[i], i);
    p.restore();
  }
  return Opaque(image);
}

QImage DialogButton() {
  return StackedStates(57, 20, kBody, [](QPainter& p, const QRectF& cell, State state, int) {
    PaintFace(p, cell, MakeFace(Tone::kBrand, state), 4);
  });
}

QImage TitleButton(TitleGlyph glyph) {
  return StackedStates(15, 15, kBody, [glyph](QPainter& p, const QRectF& cell, State state, int) {
    PaintTitleButton(p, cell, state, glyph);
  });
}

void PaintChevron(QPainter& p, const QPointF& c, bool up, const QColor& colour) {
  p.setPen(QPen(colour, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  const double dy = up ? -2.0 : 2.0;
  p.drawPolyline(QPolygonF({QPointF(c.x() - 4, c.y() - dy), QPointF(c.x(), c.y() + dy),
                            QPointF(c.x() + 4, c.y() - dy)}));
}

// Sits flush against the right inside of a white combo field: a tile with a rule on its left.
QImage ComboArrow() {
  return StackedStates(22, 22, kPanel, [](QPainter& p, const QRectF& cell, State, int index) {
    QLinearGradient fill(cell.topLeft(), cell.bottomLeft());
    QColor rule;
    QColor chevron;
    bool up = false;
    if (index == 0) {  // closed
      fill.setColorAt(0, QColor(0xFA, 0xFB, 0xFD));
      fill.setColorAt(1, QColor(0xEA, 0xEF, 0xF4));
      rule = QColor(0xD0, 0xD8, 0xE1);
      chevron = QColor(0x1D, 0x5C, 0x8C);
    } else if (index == 1) {  // dropped down
      fill.setColorAt(0, QColor(0xCF, 0xDF, 0xE8));
      fill.setColorAt(1, QColor(0xDE, 0xEA, 0xF0));
      rule = QColor(0xA9, 0xC2, 0xD0);
      chevron = Darker(kTeal, 0.2);
      up = true;
    } else {  // disabled
      fill.setColorAt(0, QColor(0xF1, 0xF3, 0xF6));
      fill.setColorAt(1, QColor(0xF1, 0xF3, 0xF6));
      rule = QColor(0xDD, 0xE2, 0xE8);
      chevron = QColor(0xB2, 0xBB, 0xC5);
    }
    p.fillRect(cell, fill);
    p.fillRect(QRectF(cell.left(), cell.top(), 1, cell.height()), rule);
    PaintChevron(p, QPointF(cell.center().x() + 0.5, cell.center().y()), up, chevron);
  });
}

// A keyboard seen from above: two rows of keys and a space bar, on whole pixels to stay crisp.
void PaintKeyboardGlyph(QPainter& p, const QPointF& centre, const QColor& colour) {
  const QPointF c(std::floor(centre.x()), std::floor(centre.y()));
  p.setPen(QPen(colour, 1));
  p.setBrush(Qt::NoBrush);
  p.drawRoundedRect(QRectF(c.x() - 7.5, c.y() - 4.5, 15, 10), 1.5, 1.5);
  p.setPen(Qt::NoPen);
  p.setBrush(colour);
  for (int row = 0; row < 2; ++row) {
    for (int i = 0; i < 5; ++i) {
      p.drawRect(QRectF(c.x() - 5 + i * 2, c.y() - 2 + row * 2, 1, 1));
    }
  }
  p.drawRect(QRectF(c.x() - 3, c.y() + 2, 6, 1));
}

QImage KeyboardButton() {
  return StackedStates(22, 22, kBody, [](QPainter& p, const QRectF& cell, State state, int) {
    const Face face = MakeFace(Tone::kLight, state);
    PaintFace(p, cell, face, 4);
    const QRectF body = FaceBody(cell, face.raised);
    const QColor ink = state == State::kNormal ? QColor(0x1D, 0x5C, 0x8C) : Darker(kTeal, 0.2);
    PaintKeyboardGlyph(p, body.center(), ink);
  });
}

// ---------------------------------------------------------------------------------------------
// Main window

// The window draws these captions shifted right, so the handset sits left of them.
void PaintCallButton(QPainter& p, const QRectF& cell, State state, bool call) {
  const Face face = MakeFace(call ? Tone::kGreen : Tone::kRed, state);
  PaintFace(p, cell, face, 6);
  const QRectF body = FaceBody(cell, face.raised);
  const double right = body.center().x() + layout::kCallCaptionShift - 17;
  const double size = call ? 15 : 17;
  const QRectF box(std::round(right - size), std::round(body.center().y() - size / 2), size, size);
  PaintHandsetGlyph(p, box, call, QColor(255, 255, 255, 235));
}

void PaintControl(QPainter& p, const layout::ControlPlace& place, State state) {
  const std::string_view role = place.role;
  const QRectF cell(ToQRect(place.rect));
  if (role == "hide") return PaintTitleButton(p, cell, state, TitleGlyph::kMinus);
  if (role == "exit") return PaintTitleButton(p, cell, state, TitleGlyph::kCross);
  if (role == "tab") return PaintTab(p, cell, state);
  if (role == "service") return PaintFace(p, cell, MakeFace(Tone::kBrand, state), 5);
  if (role == "clear" || role == "backspace") {
    return PaintFace(p, cell, MakeFace(Tone::kLight, state), 5);
  }
  if (role.starts_with("key-")) return PaintKey(p, cell, state, role);
  if (role == "call" || role == "hangup") return PaintCallButton(p, cell, state, role == "call");
}

void PaintNumberBox(QPainter& p) {
  const QRectF box = QRectF(ToQRect(layout::kNumberBox)).adjusted(0.5, 0.5, -0.5, -0.5);
  QPainterPath outline;
  outline.addRoundedRect(box, 5, 5);
  p.fillPath(outline, kPanel);
  // A recessed field: a faint shadow under its top edge.
  p.save();
  p.setClipPath(outline);
  p.setPen(QPen(WithAlpha(kShadow, 22), 1));
  p.drawLine(QPointF(box.left(), box.top() + 1), QPointF(box.right(), box.top() + 1));
  p.restore();
  p.strokePath(outline, QPen(QColor(0xB4, 0xC1, 0xCE), 1));
}

void PaintContentPanel(QPainter& p) {
  const layout::Rect area = layout::kContentArea;
  const QRectF border(area.left - 1.5, area.top - 1.5, area.width() + 3, area.height() + 3);
  QPainterPath outline;
  outline.addRoundedRect(border, 4, 4);
  QPainterPath shadow;
  shadow.addRoundedRect(border.translated(0, 1), 4, 4);
  p.strokePath(shadow, QPen(WithAlpha(kShadow, 18), 1));
  p.fillPath(outline, kPanel);
  p.strokePath(outline, QPen(kPanelBorder, 1));
}

QImage MainWindowBase(const QImage& logo) {
  QImage image = Canvas(layout::kSkinSize.width, layout::kSkinSize.height, FrameRing(0));
  {
    QPainter p(&image);
    Smooth(p);
    // The dialog slices take the right edge from x 270-281, so the frame is laid out on a
    // 282-wide window and its outer column doubled.
    PaintFrame(p, QRectF(0, 0, layout::kSkinSize.width - 1, layout::kSkinSize.height));
  }
  const int last = image.width() - 1;
  for (int y = 0; y < image.height(); ++y) {
    QRgb* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    row[last] = row[last - 1];
  }

  QPainter p(&image);
  Smooth(p);
  p.fillRect(QRect(10, layout::kTitleLineY, image.width() - 20, 1), kLine);
  p.drawImage(layout::kLogo.left, layout::kLogo.top, logo);
  PaintContentPanel(p);
  PaintNumberBox(p);
  return image;
}

QImage MainWindow(const QImage& base, State state) {
  QImage image = base;
  QPainter p(&image);
  Smooth(p);
  for (const layout::ControlPlace& place : layout::kMainWindowControls) {
    if (place.kind != layout::Kind::kButton) continue;
    p.save();
    p.setClipRect(ToQRect(place.rect));
    PaintControl(p, place, state);
    p.restore();
  }
  p.end();
  return Opaque(image);
}

}  // namespace

QFont ArtFont(int pixel_size, bool bold) {
  QFont font;
  // A real bold face exists only in Noto, so bold text asks for it first.
  font.setFamilies(bold ? QStringList{"Noto Sans CJK SC", "WenQuanYi Micro Hei"}
                        : QStringList{"WenQuanYi Micro Hei", "Noto Sans CJK SC"});
  font.setPixelSize(pixel_size);
  font.setBold(bold);
  font.setStyleStrategy(QFont::PreferAntialias);
  font.setHintingPreference(QFont::PreferNoHinting);
  return font;
}

std::vector<Picture> RenderAll() {
  const QImage logo = Logo();
  const QImage base = MainWindowBase(logo);
  return {
      {"129.png", MainWindow(base, State::kPressed)},
      {"130.png", MainWindow(base, State::kNormal)},
      {"131.png", MainWindow(base, State::kHover)},
      {"132.png", DialogButton()},
      {"133.png", TitleButton(TitleGlyph::kCross)},
      {"134.png", TitleButton(TitleGlyph::kMinus)},
      {"137.png", logo},
      {"138.png", CallPicture()},
      {"140.png", PanelIconImage(PanelIcon::kMicrophone)},
      {"141.png", PanelIconImage(PanelIcon::kSpeaker)},
      {"142.png", PanelIconImage(PanelIcon::kClock)},
      {"143.png", ComboArrow()},
      {"144.png", KeyboardButton()},
  };
}

}  // namespace corvel::skin_art
