#include "ui/skin/skin_images.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>

#include <optional>

#include "support/temp_folder.h"
#include "ui/skin/skin_test_support.h"

namespace corvel {
namespace {

using testing::PixelAt;

// Points CORVEL_SKIN_DIR at a folder for one test.
class SkinFolderScope {
 public:
  explicit SkinFolderScope(const std::string& folder)
      : previous_(qgetenv("CORVEL_SKIN_DIR")),
        hadPrevious_(qEnvironmentVariableIsSet("CORVEL_SKIN_DIR")) {
    qputenv("CORVEL_SKIN_DIR", QByteArray::fromStdString(folder));
  }
  ~SkinFolderScope() {
    if (hadPrevious_) {
      qputenv("CORVEL_SKIN_DIR", previous_);
    } else {
      qunsetenv("CORVEL_SKIN_DIR");
    }
  }
  SkinFolderScope(const SkinFolderScope&) = delete;
  SkinFolderScope& operator=(const SkinFolderScope&) = delete;

 private:
  QByteArray previous_;
  bool hadPrevious_;
};

struct LookupCase {
  bool inFolder;                     // green 2 x 2 in the folder
  std::optional<QColor> registered;  // registered for testing; a null pixmap when invalid
  std::optional<QColor> expected;    // nothing: no image
};

class SkinImageLookupTest : public testing::SkinImageTest,
                            public ::testing::WithParamInterface<LookupCase> {};

TEST_P(SkinImageLookupTest, TestImagesThenTheFolderThenTheResources) {
  corvel::testing::TempFolder folder;
  const LookupCase& c = GetParam();
  constexpr int kId = 9130;  // not among the built-in artwork
  if (c.inFolder) {
    ASSERT_TRUE(testing::SolidPixmap(2, 2, Qt::green)
                    .save(QString::fromStdString(folder / "9130.png"), "PNG"));
  }
  if (c.registered) {
    UseImage(kId, c.registered->isValid() ? testing::SolidPixmap(3, 3, *c.registered) : QPixmap());
  }
  SkinFolderScope scope(folder.path());
  const QPixmap image = SkinImage(kId);
  if (!c.expected) {
    EXPECT_TRUE(image.isNull());
    return;
  }
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(PixelAt(image.toImage(), 0, 0), *c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SkinImageLookupTest,
    ::testing::Values(LookupCase{false, std::nullopt, std::nullopt},
                      LookupCase{true, std::nullopt, QColor(Qt::green)},
                      LookupCase{true, QColor(Qt::red), QColor(Qt::red)},
                      // A registered null pixmap stands for missing artwork, folder or not.
                      LookupCase{true, QColor(), std::nullopt},
                      LookupCase{false, QColor(Qt::blue), QColor(Qt::blue)}));

TEST(SkinImages, ClearingForgetsTheRegisteredImages) {
  SetSkinImageForTesting(9131, testing::SolidPixmap(1, 1, Qt::red));
  ASSERT_FALSE(SkinImage(9131).isNull());
  ClearSkinImagesForTesting();
  EXPECT_TRUE(SkinImage(9131).isNull());
}

}  // namespace
}  // namespace corvel
