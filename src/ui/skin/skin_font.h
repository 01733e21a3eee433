// The one typeface every skinned control draws with. The artwork was laid out for SimSun;
// where it is not installed, the common CJK families of the Linux desktop stand in for it.
#pragma once

#include <QFont>

namespace corvel {

// SimSun (or its stand-ins) at the given point size; captions use 10, dialog titles 12.
QFont SkinFont(int pointSize);

}  // namespace corvel
