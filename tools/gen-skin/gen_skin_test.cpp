// Runs corvel-gen-skin and checks its images: sizes, plain PNG files, the same bytes on every run,
// the committed ones matching within the rounding processors differ by, the three main-window
// skins differing only at the buttons, and a dialog frame that stretches without smearing.

#include <gtest/gtest.h>

#include <QColor>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPoint>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <ostream>
#include <regex>
#include <string>
#include <vector>

#include "support/temp_folder.h"
#include "ui/main_window_layout.h"

#ifndef CORVEL_GEN_SKIN_EXE
#error "CORVEL_GEN_SKIN_EXE must name the generator binary"
#endif
#ifndef CORVEL_SKIN_DIR
#error "CORVEL_SKIN_DIR must name the committed skin folder"
#endif

namespace {

namespace layout = corvel::layout;
namespace frame = corvel::layout::frame;
using corvel::testing::ReadFile;
using corvel::testing::TempFolder;

struct Expected {
  const char* name;
  int width, height;
  bool alpha;
};

constexpr Expected kFiles[] = {
    {"129.png", 283, 580, false}, {"130.png", 283, 580, false}, {"131.png", 283, 580, false},
    {"132.png", 57, 60, false},   {"133.png", 15, 45, false},   {"134.png", 15, 45, false},
    {"137.png", 90, 80, false},   {"138.png", 66, 66, false},   {"140.png", 16, 16, true},
    {"141.png", 16, 16, true},    {"142.png", 16, 16, true},    {"143.png", 22, 66, false},
    {"144.png", 22, 66, false},
};

bool RunGenerator(const std::string& folder) {
  const std::string command = std::string("'") + CORVEL_GEN_SKIN_EXE + "' '" + folder + "'";
  return std::system(command.c_str()) == 0;
}

class GenSkinTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    first_ = new TempFolder;
    second_ = new TempFolder;
    ran_ = RunGenerator(first_->path()) && RunGenerator(second_->path());
  }
  static void TearDownTestSuite() {
    delete first_;
    delete second_;
  }
  void SetUp() override { ASSERT_TRUE(ran_) << "the generator failed"; }

  static std::string Output(const char* name) { return *first_ / name; }
  static QImage Load(const char* name) {
    return QImage(QString::fromStdString(Output(name))).convertToFormat(QImage::Format_ARGB32);
  }

  static TempFolder* first_;
  static TempFolder* second_;
  static bool ran_;
};

TempFolder* GenSkinTest::first_ = nullptr;
TempFolder* GenSkinTest::second_ = nullptr;
bool GenSkinTest::ran_ = false;

struct Chunk {
  std::string type;
  std::string data;
};

std::vector<Chunk> PngChunks(const std::string& bytes) {
  std::vector<Chunk> chunks;
  if (bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) return chunks;
  std::size_t at = 8;
  while (at + 12 <= bytes.size()) {
    std::uint32_t length = 0;
    for (int i = 0; i < 4; ++i) {
      length = (length << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    }
    if (at + 12 + length > bytes.size()) break;
    chunks.push_back({bytes.substr(at + 4, 4), bytes.substr(at + 8, length)});
    at += 12 + length;
  }
  return chunks;
}

// How far a painting is from the committed art. The same generator on another processor rounds
// premultiplied alpha (and may blend) differently, so a few pixels may come out a level or two
// off; anything beyond that is a change of the art.
struct ArtComparison {
  bool comparable = false;  // same size, both with or both without alpha
  int differing = 0;        // pixels whose stored value differs at all
  int far = 0;              // ...of which more than kRoundingLevels off
  QPoint first_far;
  int allowed = 0;  // differing pixels a picture of this size may have

  bool Matches() const { return comparable && far == 0 && differing <= allowed; }
};

std::ostream& operator<<(std::ostream& out, const ArtComparison& c) {
  if (!c.comparable) return out << "the sizes or pixel formats differ";
  out << c.differing << " pixels differ (" << c.allowed << " allowed)";
  if (c.far > 0) {
    out << ", " << c.far << " by more than rounding, the first at (" << c.first_far.x() << ","
        << c.first_far.y() << ")";
  }
  return out;
}

constexpr int kRoundingLevels = 2;

// Colour is compared as what the pixel adds over any background (premultiplied), so a faint
// pixel whose stored colour swings with the rounding of its tiny alpha still counts as close.
bool Close(QRgb a, QRgb b) {
  if (std::abs(qAlpha(a) - qAlpha(b)) > kRoundingLevels) return false;
  const auto premultiplied_gap = [&](int ca, int cb) {
    return std::abs(ca * qAlpha(a) - cb * qAlpha(b));
  };
  return premultiplied_gap(qRed(a), qRed(b)) <= kRoundingLevels * 255 &&
         premultiplied_gap(qGreen(a), qGreen(b)) <= kRoundingLevels * 255 &&
         premultiplied_gap(qBlue(a), qBlue(b)) <= kRoundingLevels * 255;
}

ArtComparison CompareArt(const QImage& committed, const QImage& painted) {
  ArtComparison result;
  result.comparable = committed.size() == painted.size() && !committed.isNull() &&
                      committed.hasAlphaChannel() == painted.hasAlphaChannel();
  if (!result.comparable) return result;
  const QImage a = committed.convertToFormat(QImage::Format_ARGB32);
  const QImage b = painted.convertToFormat(QImage::Format_ARGB32);
  // One pixel in a thousand, and never fewer than a handful for the small icons.
  result.allowed = std::max(4, a.width() * a.height() / 1000);
  for (int y = 0; y < a.height(); ++y) {
    const QRgb* row_a = reinterpret_cast<const QRgb*>(a.constScanLine(y));
    const QRgb* row_b = reinterpret_cast<const QRgb*>(b.constScanLine(y));
    for (int x = 0; x < a.width(); ++x) {
      if (row_a[x] == row_b[x]) continue;
      ++result.differing;
      if (!Close(row_a[x], row_b[x]) && result.far++ == 0) result.first_far = QPoint(x, y);
    }
  }
  return result;
}

QImage LoadCommitted(const char* name) {
  return QImage(QString::fromStdString(std::string(CORVEL_SKIN_DIR) + "/" + name));
}

layout::Rect Intersection(layout::Rect a, layout::Rect b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
          std::min(a.bottom, b.bottom)};
}

bool Overlap(layout::Rect a, layout::Rect b) {
  const layout::Rect i = Intersection(a, b);
  return i.left < i.right && i.top < i.bottom;
}

bool Differs(const QImage& a, const QImage& b, layout::Rect r) {
  for (int y = r.top; y < r.bottom; ++y) {
    for (int x = r.left; x < r.right; ++x) {
      if (a.pixel(x, y) != b.pixel(x, y)) return true;
    }
  }
  return false;
}

bool InsideAnyButton(int x, int y) {
  for (const layout::ControlPlace& place : layout::kMainWindowControls) {
    if (place.kind == layout::Kind::kButton && place.rect.contains(x, y)) return true;
  }
  return false;
}

QRgb ToQRgb(layout::Rgb c) {
  return qRgb(c.red, c.green, c.blue);
}

double Luminance(QRgb c) {
  const auto linear = [](int channel) {
    const double v = channel / 255.0;
    return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * linear(qRed(c)) + 0.7152 * linear(qGreen(c)) + 0.0722 * linear(qBlue(c));
}

double Contrast(QRgb a, QRgb b) {
  const double la = Luminance(a);
  const double lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// Text needs 4.5:1 against what it is drawn on.
constexpr double kLegible = 4.5;

TEST_F(GenSkinTest, EveryFileHasItsSizeAndPixelFormat) {
  for (const Expected& file : kFiles) {
    SCOPED_TRACE(file.name);
    const QImage image(QString::fromStdString(Output(file.name)));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.width(), file.width);
    EXPECT_EQ(image.height(), file.height);
    EXPECT_EQ(image.hasAlphaChannel(), file.alpha);
  }
}

TEST_F(GenSkinTest, WritesNothingElse) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(first_->path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  std::vector<std::string> expected;
  for (const Expected& file : kFiles)
    expected.emplace_back(file.name);
  EXPECT_EQ(names, expected);
}

TEST_F(GenSkinTest, PngFilesCarryNoMetadata) {
  for (const Expected& file : kFiles) {
    SCOPED_TRACE(file.name);
    const std::vector<Chunk> chunks = PngChunks(ReadFile(Output(file.name)));
    ASSERT_GE(chunks.size(), 3u);
    EXPECT_EQ(chunks.front().type, "IHDR");
    EXPECT_EQ(chunks.back().type, "IEND");
    for (const Chunk& chunk : chunks) {
      EXPECT_TRUE(chunk.type == "IHDR" || chunk.type == "IDAT" || chunk.type == "IEND")
          << chunk.type;
    }
    // 8-bit RGB for the opaque pictures, RGBA for the panel icons.
    ASSERT_EQ(chunks.front().data.size(), 13u);
    EXPECT_EQ(chunks.front().data[8], 8);
    EXPECT_EQ(chunks.front().data[9], file.alpha ? 6 : 2);
  }
}

TEST_F(GenSkinTest, RunsGiveTheSameBytes) {
  for (const Expected& file : kFiles) {
    EXPECT_EQ(ReadFile(Output(file.name)), ReadFile(*second_ / file.name)) << file.name;
  }
}

TEST_F(GenSkinTest, CommittedFilesMatchTheGenerator) {
  for (const Expected& file : kFiles) {
    const QImage committed = LoadCommitted(file.name);
    EXPECT_FALSE(committed.isNull()) << file.name << " is missing from resources/skin";
    const ArtComparison comparison =
        CompareArt(committed, QImage(QString::fromStdString(Output(file.name))));
    EXPECT_TRUE(comparison.Matches())
        << file.name << " differs from the generator's output: " << comparison
        << "; run resources/skin/render.sh";
  }
}

// What the art check lets through: the rounding seen between processors, and nothing that
// changes how a picture looks.
struct ArtEdit {
  const char* what;
  const char* file;
  std::function<QImage(QImage)> edit;
  bool accepted;
};

QImage WithPixels(QImage image, std::initializer_list<QPoint> points, QRgb value) {
  image = image.convertToFormat(QImage::Format_ARGB32);
  for (const QPoint point : points)
    image.setPixel(point, value);
  return image;
}

// Moves the green channel of `count` opaque pixels in the middle of the picture by `levels`.
QImage GreenNudged(QImage image, int count, int levels) {
  image = image.convertToFormat(QImage::Format_ARGB32);
  const int y = image.height() / 2;
  for (int x = image.width() / 2 - count / 2, end = x + count; x < end; ++x) {
    const QRgb c = image.pixel(x, y);
    EXPECT_EQ(qAlpha(c), 255) << x << "," << y;
    const int green = qGreen(c) >= 128 ? qGreen(c) - levels : qGreen(c) + levels;
    image.setPixel(x, y, qRgba(qRed(c), green, qBlue(c), qAlpha(c)));
  }
  return image;
}

QImage EveryPixel(QImage image, const std::function<QRgb(QRgb)>& change) {
  image = image.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x)
      image.setPixel(x, y, change(image.pixel(x, y)));
  }
  return image;
}

QImage ShiftedRight(const QImage& image) {
  QImage shifted(image.size(), QImage::Format_ARGB32);
  shifted.fill(Qt::transparent);
  QPainter p(&shifted);
  p.setCompositionMode(QPainter::CompositionMode_Source);
  p.drawImage(1, 0, image.convertToFormat(QImage::Format_ARGB32));
  p.end();
  return image.hasAlphaChannel() ? shifted : shifted.convertToFormat(image.format());
}

// The normal skin with one button shown as hovered.
QImage OneButtonHovered(QImage normal) {
  const layout::Rect r = layout::FindControl(1026)->rect;
  const QImage hover = LoadCommitted("131.png");
  QPainter p(&normal);
  p.drawImage(QPoint(r.left, r.top), hover.copy(r.left, r.top, r.width(), r.height()));
  p.end();
  return normal;
}

TEST(ArtComparison, AcceptsProcessorRoundingAndRejectsChangedArt) {
  // The pixels another processor painted differently from the committed icons.
  constexpr QRgb kCommitted140 = qRgba(18, 115, 128, 42);
  constexpr QRgb kPainted140 = qRgba(18, 115, 127, 42);
  constexpr QRgb kCommitted141 = qRgba(73, 128, 180, 252);
  constexpr QRgb kPainted141 = qRgba(73, 127, 180, 252);
  const QImage mic = LoadCommitted("140.png").convertToFormat(QImage::Format_ARGB32);
  const QImage speaker = LoadCommitted("141.png").convertToFormat(QImage::Format_ARGB32);
  ASSERT_EQ(mic.pixel(2, 13), kCommitted140);
  ASSERT_EQ(mic.pixel(13, 13), kCommitted140);
  ASSERT_EQ(speaker.pixel(14, 5), kCommitted141);

  const ArtEdit edits[] = {
      {"unchanged", "130.png", [](QImage i) { return i; }, true},
      {"140.png as painted on the other processor", "140.png",
       [&](QImage i) {
         return WithPixels(i, {{2, 13}, {13, 13}}, kPainted140);
       },
       true},
      {"141.png as painted on the other processor", "141.png",
       [&](QImage i) {
         return WithPixels(i, {{14, 5}}, kPainted141);
       },
       true},
      {"four pixels two levels off", "142.png", [](QImage i) { return GreenNudged(i, 4, 2); },
       true},
      {"the faintest pixel's colour swings with its alpha", "140.png",
       [](QImage i) {
         return WithPixels(i, {{0, 0}}, qRgba(255, 0, 0, 1));
       },
       true},
      {"five pixels two levels off", "142.png", [](QImage i) { return GreenNudged(i, 5, 2); },
       false},
      {"one pixel three levels off", "140.png", [](QImage i) { return GreenNudged(i, 1, 3); },
       false},
      {"a whole skin one level greener", "130.png",
       [](QImage i) {
         return EveryPixel(i, [](QRgb c) {
           return qRgba(qRed(c), std::min(qGreen(c) + 1, 255), qBlue(c), qAlpha(c));
         });
       },
       false},
      {"red and blue swapped", "141.png",
       [](QImage i) {
         return EveryPixel(i,
                           [](QRgb c) { return qRgba(qBlue(c), qGreen(c), qRed(c), qAlpha(c)); });
       },
       false},
      {"an icon shifted one pixel", "140.png", [](QImage i) { return ShiftedRight(i); }, false},
      {"a logo shifted one pixel", "137.png", [](QImage i) { return ShiftedRight(i); }, false},
      {"a clear corner filled", "140.png",
       [](QImage i) {
         return WithPixels(i, {{0, 0}}, qRgba(14, 124, 134, 255));
       },
       false},
      {"another icon in its place", "140.png", [&](QImage) { return speaker; }, false},
      {"one button of the skin hovered", "130.png", [](QImage i) { return OneButtonHovered(i); },
       false},
      {"one column narrower", "130.png",
       [](QImage i) { return i.copy(0, 0, i.width() - 1, i.height()); }, false},
  };
  for (const ArtEdit& edit : edits) {
    SCOPED_TRACE(edit.what);
    const QImage committed = LoadCommitted(edit.file);
    ASSERT_FALSE(committed.isNull());
    const QImage edited = edit.edit(committed).convertToFormat(committed.format());
    const ArtComparison comparison = CompareArt(committed, edited);
    EXPECT_EQ(comparison.Matches(), edit.accepted) << comparison;
  }
}

TEST_F(GenSkinTest, ResourceFileListsEveryImage) {
  const std::string qrc = ReadFile(std::string(CORVEL_SKIN_DIR) + "/skin.qrc");
  EXPECT_NE(qrc.find("<qresource prefix=\"/skin\">"), std::string::npos);
  std::vector<std::string> listed;
  const std::regex entry("<file>([^<]+)</file>");
  for (auto it = std::sregex_iterator(qrc.begin(), qrc.end(), entry); it != std::sregex_iterator();
       ++it) {
    listed.push_back((*it)[1]);
  }
  std::vector<std::string> expected;
  for (const Expected& file : kFiles)
    expected.emplace_back(file.name);
  EXPECT_EQ(listed, expected);
}

TEST_F(GenSkinTest, LayoutFitsInsideTheFrameWithoutOverlaps) {
  const layout::Rect interior{frame::kThickness, layout::kTitleLineY + 1,
                              layout::kSkinSize.width - frame::kThickness,
                              layout::kSkinSize.height - frame::kThickness};
  const layout::Rect title_band{frame::kThickness, frame::kThickness,
                                layout::kSkinSize.width - frame::kThickness, layout::kTitleLineY};
  const layout::Rect slices[] = {frame::kLeftEdge,   frame::kRightEdge,  frame::kTopEdge,
                                 frame::kBottomEdge, frame::kTopLeft,    frame::kTopRight,
                                 frame::kBottomLeft, frame::kBottomRight};
  std::vector<layout::Rect> placed = {layout::kLogo, layout::kAccountArea, layout::kContentArea,
                                      layout::kTitleText};
  for (const layout::ControlPlace& place : layout::kMainWindowControls) {
    SCOPED_TRACE(place.id);
    const bool in_title = place.role == std::string("hide") || place.role == std::string("exit");
    const layout::Rect room = in_title ? title_band : interior;
    EXPECT_EQ(Intersection(place.rect, room).width(), place.rect.width());
    EXPECT_EQ(Intersection(place.rect, room).height(), place.rect.height());
    for (const layout::Rect& slice : slices)
      EXPECT_FALSE(Overlap(place.rect, slice));
    for (const layout::Rect& other : placed)
      EXPECT_FALSE(Overlap(place.rect, other));
    placed.push_back(place.rect);
    if (in_title) {
      EXPECT_EQ(place.rect.width(), 15);
      EXPECT_EQ(place.rect.height(), 15);
    }
  }
  EXPECT_EQ(layout::FindControl(1013)->rect.left, layout::kNumberBox.left);
  EXPECT_EQ(layout::FindControl(1028)->rect.top, layout::kLink.top);
  EXPECT_EQ(Intersection(layout::kNumberEdit, layout::kNumberBox).width(),
            layout::kNumberEdit.width());
}

TEST_F(GenSkinTest, SkinsDifferInsideEveryButton) {
  const QImage normal = Load("130.png");
  const QImage hover = Load("131.png");
  const QImage pressed = Load("129.png");
  int buttons = 0;
  for (const layout::ControlPlace& place : layout::kMainWindowControls) {
    if (place.kind != layout::Kind::kButton) continue;
    ++buttons;
    SCOPED_TRACE(place.id);
    EXPECT_TRUE(Differs(normal, hover, place.rect));
    EXPECT_TRUE(Differs(normal, pressed, place.rect));
    EXPECT_TRUE(Differs(hover, pressed, place.rect));
  }
  EXPECT_EQ(buttons, 27);
}

TEST_F(GenSkinTest, SkinsAgreeOutsideTheButtons) {
  const QImage normal = Load("130.png");
  const QImage hover = Load("131.png");
  const QImage pressed = Load("129.png");
  int differing = 0;
  for (int y = 0; y < normal.height(); ++y) {
    for (int x = 0; x < normal.width(); ++x) {
      if (InsideAnyButton(x, y)) continue;
      if (normal.pixel(x, y) != hover.pixel(x, y) || normal.pixel(x, y) != pressed.pixel(x, y)) {
        ++differing;
      }
    }
  }
  EXPECT_EQ(differing, 0);
}

TEST_F(GenSkinTest, StretchedFrameEdgesAreUniform) {
  const QImage skin = Load("130.png");
  for (const layout::Rect edge : {frame::kLeftEdge, frame::kRightEdge}) {
    for (int x = edge.left; x < edge.right; ++x) {
      for (int y = edge.top; y < edge.bottom; ++y) {
        ASSERT_EQ(skin.pixel(x, y), skin.pixel(x, edge.top)) << x << "," << y;
      }
    }
  }
  for (const layout::Rect edge : {frame::kTopEdge, frame::kBottomEdge}) {
    for (int y = edge.top; y < edge.bottom; ++y) {
      for (int x = edge.left; x < edge.right; ++x) {
        ASSERT_EQ(skin.pixel(x, y), skin.pixel(edge.left, y)) << x << "," << y;
      }
    }
  }
}

// The pieces meet the stretched edges without a step, and the corners' inner parts show the
// colour the dialogs fill their body with.
TEST_F(GenSkinTest, FramePiecesJoinSeamlessly) {
  const QImage skin = Load("130.png");
  const int t = frame::kThickness;
  for (int i = 0; i < t; ++i) {
    SCOPED_TRACE(i);
    // Left edge continues the top-left corner's last row, the right edge the top-right's.
    EXPECT_EQ(skin.pixel(frame::kLeftEdge.left + i, frame::kLeftEdge.top),
              skin.pixel(frame::kTopLeft.left + i, frame::kTopLeft.bottom - 1));
    EXPECT_EQ(skin.pixel(frame::kRightEdge.left + i, frame::kRightEdge.top),
              skin.pixel(frame::kTopRight.left + i, frame::kTopRight.bottom - 1));
    // ...and the bottom corners' first rows.
    EXPECT_EQ(skin.pixel(frame::kLeftEdge.left + i, frame::kLeftEdge.top),
              skin.pixel(frame::kBottomLeft.left + i, frame::kBottomLeft.top));
    EXPECT_EQ(skin.pixel(frame::kRightEdge.left + i, frame::kRightEdge.top),
              skin.pixel(frame::kBottomRight.left + i, frame::kBottomRight.top));
    // The top and bottom edges continue their corners on both sides.
    EXPECT_EQ(skin.pixel(frame::kTopEdge.left, i), skin.pixel(frame::kTopLeft.right - 1, i));
    EXPECT_EQ(skin.pixel(frame::kTopEdge.left, i), skin.pixel(frame::kTopRight.left, i));
    const int bottom = frame::kBottomEdge.top + i;
    EXPECT_EQ(skin.pixel(frame::kBottomEdge.left, bottom),
              skin.pixel(frame::kBottomLeft.right - 1, bottom));
    EXPECT_EQ(skin.pixel(frame::kBottomEdge.left, bottom),
              skin.pixel(frame::kBottomRight.left, bottom));
  }
  // The top-left corner below the top edge is dialog body, apart from its rounding.
  const QRgb body = ToQRgb(frame::kDialogBody);
  for (int y = t; y < frame::kTopLeft.bottom; ++y) {
    for (int x = t + 4; x < frame::kTopLeft.right; ++x) {
      ASSERT_EQ(skin.pixel(x, y), body) << x << "," << y;
    }
  }
  // The inner edge of every piece is body colour, and the outer rim is what the window shows
  // under the skin.
  EXPECT_EQ(skin.pixel(frame::kLeftEdge.right - 1, frame::kLeftEdge.top), body);
  EXPECT_EQ(skin.pixel(frame::kRightEdge.left, frame::kRightEdge.top), body);
  EXPECT_EQ(skin.pixel(frame::kTopEdge.left, frame::kTopEdge.bottom - 1), body);
  EXPECT_EQ(skin.pixel(frame::kBottomEdge.left, frame::kBottomEdge.top), body);
  const QRgb rim = ToQRgb(layout::kWindowBackground);
  EXPECT_EQ(skin.pixel(frame::kBottomEdge.left, frame::kBottomEdge.bottom - 1), rim);
  EXPECT_EQ(skin.pixel(frame::kLeftEdge.left, frame::kLeftEdge.top), rim);
  EXPECT_EQ(skin.pixel(frame::kRightEdge.right - 1, frame::kRightEdge.top), rim);
  EXPECT_EQ(skin.pixel(layout::kSkinSize.width - 1, frame::kRightEdge.top), rim);
}

TEST_F(GenSkinTest, TextAreasArePlain) {
  const QImage skin = Load("130.png");
  const QRgb body = ToQRgb(frame::kDialogBody);
  const QRgb panel = ToQRgb(layout::kPanelBackground);
  const auto all = [&](layout::Rect r, QRgb colour) {
    for (int y = r.top; y < r.bottom; ++y) {
      for (int x = r.left; x < r.right; ++x) {
        if (skin.pixel(x, y) != colour) return false;
      }
    }
    return true;
  };
  EXPECT_TRUE(all(layout::kAccountArea, body));
  EXPECT_TRUE(all({layout::kTitleText.left, frame::kThickness, layout::kTitleText.right,
                   layout::kTitleText.bottom},
                  body));
  EXPECT_TRUE(all(layout::kContentArea, panel));
  EXPECT_TRUE(all(layout::kNumberEdit, panel));
  EXPECT_TRUE(all(layout::kLink, body));
  for (int x = 10; x < layout::kSkinSize.width - 10; ++x) {
    ASSERT_EQ(skin.pixel(x, layout::kTitleLineY), ToQRgb(frame::kDialogLine)) << x;
  }
}

TEST_F(GenSkinTest, LogoIsTheSameInTheSkin) {
  const QImage skin = Load("130.png");
  const QImage logo = Load("137.png");
  EXPECT_EQ(skin.copy(layout::kLogo.left, layout::kLogo.top, logo.width(), logo.height()), logo);
}

TEST_F(GenSkinTest, CaptionsAreLegibleInEveryState) {
  for (const char* name : {"129.png", "130.png", "131.png"}) {
    const QImage skin = Load(name);
    for (const layout::ControlPlace& place : layout::kMainWindowControls) {
      if (place.ink == layout::Ink::kNone) continue;
      SCOPED_TRACE(std::string(name) + " " + std::to_string(place.id));
      const QRgb ink =
          ToQRgb(place.ink == layout::Ink::kDark ? layout::kCaptionDark : layout::kCaptionLight);
      // Sample where two 10-pt glyphs go: the middle rows, 13 px either side of the centre.
      const bool call = place.id == 1026 || place.id == 1027;
      const int centre =
          (place.rect.left + place.rect.right) / 2 + (call ? layout::kCallCaptionShift : 0);
      const int mid = (place.rect.top + place.rect.bottom) / 2;
      for (int y = mid - 4; y <= mid + 4; ++y) {
        for (int x = centre - 13; x < centre + 13; ++x) {
          ASSERT_GE(Contrast(skin.pixel(x, y), ink), kLegible) << x << "," << y;
        }
      }
    }
  }
  const QRgb body = ToQRgb(frame::kDialogBody);
  EXPECT_GE(Contrast(ToQRgb(layout::kTitleInk), body), kLegible);
  EXPECT_GE(Contrast(ToQRgb(layout::kAccountInk), body), kLegible);
  EXPECT_GE(Contrast(ToQRgb(layout::kLinkInk), body), kLegible);
  const QImage button = Load("132.png");
  for (int state = 0; state < 3; ++state) {
    const int mid = state * 20 + 10;
    for (int x = 14; x < 43; ++x) {
      ASSERT_GE(Contrast(button.pixel(x, mid), ToQRgb(layout::kCaptionLight)), kLegible)
          << "dialog button state " << state;
    }
  }
}

TEST_F(GenSkinTest, StackedStatesDiffer) {
  struct Strip {
    const char* name;
    int cell;
  };
  for (const Strip strip : {Strip{"132.png", 20}, Strip{"133.png", 15}, Strip{"134.png", 15},
                            Strip{"143.png", 22}, Strip{"144.png", 22}}) {
    SCOPED_TRACE(strip.name);
    const QImage image = Load(strip.name);
    const QImage cells[] = {image.copy(0, 0, image.width(), strip.cell),
                            image.copy(0, strip.cell, image.width(), strip.cell),
                            image.copy(0, 2 * strip.cell, image.width(), strip.cell)};
    EXPECT_NE(cells[0], cells[1]);
    EXPECT_NE(cells[0], cells[2]);
    EXPECT_NE(cells[1], cells[2]);
  }
}

TEST_F(GenSkinTest, PanelIconsHaveClearCornersAndSolidMiddles) {
  for (const char* name : {"140.png", "141.png", "142.png"}) {
    SCOPED_TRACE(name);
    const QImage icon = Load(name);
    EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(icon.pixel(15, 15)), 0);
    EXPECT_EQ(qAlpha(icon.pixel(8, 3)), 255);
  }
}

}  // namespace
