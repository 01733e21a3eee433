// The client's skin images, painted with QPainter from the layout table and a small palette.
// Nothing here reads the clock, the screen or a file, so every run paints the same pixels.
#pragma once

#include <QFont>
#include <QImage>
#include <QString>

#include <vector>

namespace corvel::skin_art {

enum class State { kNormal, kHover, kPressed };

struct Picture {
  QString name;  // file name, as listed in skin.qrc
  QImage image;
};

// Every image the client loads, in file-name order.
std::vector<Picture> RenderAll();

// The installed CJK families, antialiased; pixel sizes keep the art independent of screen DPI.
QFont ArtFont(int pixel_size, bool bold = false);

}  // namespace corvel::skin_art
