#include "ui/skin/skin_images.h"

#include <QDir>
#include <QString>

#include <map>

namespace corvel {
namespace {

std::map<int, QPixmap>& TestImages() {
  static std::map<int, QPixmap> images;
  return images;
}

}  // namespace

QPixmap SkinImage(int id) {
  const auto& images = TestImages();
  if (const auto found = images.find(id); found != images.end()) return found->second;
  const QString file = QString::number(id) + QStringLiteral(".png");
  const QString folder = qEnvironmentVariable("CORVEL_SKIN_DIR");
  if (!folder.isEmpty()) {
    QPixmap image(QDir(folder).filePath(file));
    if (!image.isNull()) return image;
  }
  return QPixmap(QStringLiteral(":/skin/") + file);
}

void SetSkinImageForTesting(int id, const QPixmap& image) {
  TestImages()[id] = image;
}

void ClearSkinImagesForTesting() {
  TestImages().clear();
}

}  // namespace corvel
