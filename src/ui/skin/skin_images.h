// Skin artwork by its numeric id: the picture ":/skin/<id>.png" from the application's
// resources. A missing picture gives a null pixmap, and every control then falls back to
// plain colours.
#pragma once

#include <QPixmap>

namespace corvel {

// Lookup order: an image registered for testing, then <id>.png in the folder named by
// CORVEL_SKIN_DIR (to try out artwork without rebuilding), then the built-in resource.
QPixmap SkinImage(int id);

// Registers the image returned for id until cleared; a null pixmap stands for missing artwork.
void SetSkinImageForTesting(int id, const QPixmap& image);
void ClearSkinImagesForTesting();

}  // namespace corvel
