// Window regions of the skin.
#pragma once

#include <QRegion>

namespace corvel {

// The rectangle (0, 0)-(width, height) with its corners rounded by an ellipse of
// ellipseWidth x ellipseHeight; a pixel belongs to it when its centre lies inside the shape.
// Ellipses smaller than 2 give the plain rectangle, larger than the rectangle are cut to it.
QRegion RoundRectRegion(int width, int height, int ellipseWidth, int ellipseHeight);

}  // namespace corvel
