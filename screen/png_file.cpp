#include "screen/png_file.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <vector>

#include "screen/palette.h"

namespace tvp {

bool WritePixmapPng(const Pixmap* pixmap, const std::string& path, int scale) {
  if (!pixmap) return false;
  if (scale < 1) scale = 1;
  const int width = pixmap->width * scale;
  const int height = pixmap->height * scale;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  std::vector<png_byte> row(static_cast<size_t>(width) * 3);
  bool ok = png && info;
  // libpng reports errors by longjmp; nothing with a destructor is created after this point.
  if (ok && setjmp(png_jmpbuf(png)) == 0) {
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < pixmap->height; ++y) {
      const uint8_t* source = pixmap->pixels + size_t{pixmap->rowBytes} * y;
      for (int x = 0; x < width; ++x) {
        uint32_t rgb = kPalette[source[x / scale]];
        row[3 * x] = static_cast<png_byte>(rgb >> 16);
        row[3 * x + 1] = static_cast<png_byte>(rgb >> 8);
        row[3 * x + 2] = static_cast<png_byte>(rgb);
      }
      for (int repeat = 0; repeat < scale; ++repeat) png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
  } else {
    ok = false;
  }
  png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
  return std::fclose(file) == 0 && ok;
}

}  // namespace tvp
