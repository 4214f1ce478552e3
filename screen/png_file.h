#pragma once
// Writes a pixmap through the fixed palette as an RGB PNG file, each pixel scaled to a
// scale x scale block: snapshots of the player's screen, the font sheet, and the pictures that
// picture tests leave behind when they fail.
#include <string>

#include "screen/pixmap.h"

namespace tvp {

// True when the file was written. A scale below 1 is taken as 1.
bool WritePixmapPng(const Pixmap* pixmap, const std::string& path, int scale = 1);

}  // namespace tvp
