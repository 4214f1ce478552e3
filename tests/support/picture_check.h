#pragma once
// Compares a region of a drawn pixmap with a picture written as text art, one character a pixel,
// and writes the actual picture as a PNG when they differ (the failure message names the file).
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "screen/pixmap.h"
#include "screen/png_file.h"

namespace tvp::testing {

using Legend = std::map<char, uint8_t>;

inline uint8_t PixelAt(const Pixmap* p, int x, int y) { return p->pixels[size_t{p->rowBytes} * y + x]; }

// Writes the whole pixmap, 4x, to <test name>.png in the working directory and returns its name.
inline std::string KeepActualPicture(const Pixmap* p) {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(info->test_suite_name()) + "." + info->name() + ".png";
  for (char& c : name)
    if (c == '/') c = '_';
  return WritePixmapPng(p, name, 4) ? name : "(could not write " + name + ")";
}

// The rows of art start at (x, y) of the pixmap; every character must be in the legend.
inline ::testing::AssertionResult PictureMatches(const Pixmap* p, int x, int y,
                                                 const std::vector<std::string>& art, const Legend& legend) {
  std::string diff;
  for (size_t r = 0; r < art.size(); ++r) {
    for (size_t c = 0; c < art[r].size(); ++c) {
      int px = x + static_cast<int>(c), py = y + static_cast<int>(r);
      uint8_t want = legend.at(art[r][c]);
      uint8_t got = px < p->width && py < p->height ? PixelAt(p, px, py) : uint8_t{0};
      if (got != want && diff.size() < 400)
        diff += " (" + std::to_string(px) + "," + std::to_string(py) + ")=" + std::to_string(got) +
                " want " + std::to_string(want);
    }
  }
  if (diff.empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "pixels differ:" << diff << "; actual picture in "
                                       << KeepActualPicture(p);
}

}  // namespace tvp::testing
