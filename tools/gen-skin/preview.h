// Mock-ups for judging the skin by eye: the main window with captions and sample text as the
// client will draw them, dialogs framed from the slices of image 130, and enlarged crops.
#pragma once

#include <vector>

#include "skin_art.h"

namespace corvel::skin_art {

// `skin` is what RenderAll() returned.
std::vector<Picture> RenderPreviews(const std::vector<Picture>& skin);

}  // namespace corvel::skin_art
