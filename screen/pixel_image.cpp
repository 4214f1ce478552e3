#include "screen/pixel_image.h"

#include <cstdlib>
#include <cstring>

#include "resources/resources.h"
#include "soundtrack/status.h"

namespace tvp {

namespace {

uint32_t ReadBig32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}
uint16_t ReadBig16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

// A cursor over one chunk's data that never reads past its end.
struct ByteStream {
  const uint8_t* data;
  size_t size;
  size_t pos = 0;

  bool more() const { return pos < size; }
  uint8_t next() { return pos < size ? data[pos++] : 0; }
  // 7-bit groups, most significant first; a byte with its top bit set is followed by another.
  // Saturates instead of overflowing: counts beyond the picture are cut off anyway.
  uint32_t number() {
    uint32_t value = 0;
    while (more()) {
      uint8_t b = next();
      value = value > (UINT32_MAX >> 7) ? UINT32_MAX : (value << 7 | (b & 0x7F));
      if (!(b & 0x80)) break;
    }
    return value;
  }
};

struct Chunk {
  const uint8_t* data;  // first data byte (after tag and length)
  size_t size;
};

// Walks the chunk area from its fifth byte (the first four are a word readers skip).
bool FindChunk(const uint8_t* area, size_t areaSize, const char tag[4], Chunk* out) {
  size_t pos = 4;
  while (pos + 8 <= areaSize) {
    size_t length = ReadBig32(area + pos + 4);
    size_t available = areaSize - pos - 8;
    if (std::memcmp(area + pos, tag, 4) == 0) {
      *out = {area + pos + 8, length < available ? length : available};
      return true;
    }
    if (length >= available) return false;
    pos += 8 + length;
  }
  return false;
}

// Places decoded pixels of the inner rectangle in plain or serpentine order. Serpentine rows
// alternate by their index in the whole picture: even rows run left to right, odd ones back.
struct PixelSink {
  Pixmap* pixmap;
  int left, top, width, height;
  bool serpentine;
  int64_t written = 0;

  int64_t capacity() const { return int64_t{width} * height; }
  bool full() const { return written >= capacity(); }
  void put(uint8_t colour, uint32_t count) {
    while (count > 0 && !full()) {
      int row = static_cast<int>(written / width);
      int col = static_cast<int>(written % width);
      int y = top + row;
      bool backward = serpentine && (y & 1);
      int run = width - col;
      if (static_cast<uint32_t>(run) > count) run = static_cast<int>(count);
      uint8_t* line = pixmap->pixels + size_t{pixmap->rowBytes} * y;
      if (backward)
        std::memset(line + left + width - col - run, colour, static_cast<size_t>(run));
      else
        std::memset(line + left + col, colour, static_cast<size_t>(run));
      written += run;
      count -= static_cast<uint32_t>(run);
    }
  }
};

void DecodeRunLength(ByteStream in, PixelSink* sink, bool repeatedByteCoding) {
  if (repeatedByteCoding) {
    while (in.more() && !sink->full()) {
      uint8_t colour = in.next();
      if (in.more() && in.data[in.pos] == colour) {
        ++in.pos;
        sink->put(colour, in.number());
      } else {
        sink->put(colour, 1);
      }
    }
    return;
  }
  uint8_t escape = in.next();
  while (in.more() && !sink->full()) {
    uint8_t b = in.next();
    if (b != escape) {
      sink->put(b, 1);
      continue;
    }
    uint8_t colour = in.next();
    sink->put(colour, in.number());
  }
}

// Back references go into a work buffer of the inner rectangle, laid out afterwards.
int32_t DecodeBackReferences(ByteStream in, PixelSink* sink) {
  size_t capacity = static_cast<size_t>(sink->capacity());
  auto* work = static_cast<uint8_t*>(std::calloc(capacity ? capacity : 1, 1));
  if (!work) return kStatusOutOfMemory;
  size_t out = 0;
  auto emit = [&](uint8_t colour, uint32_t count) {
    while (count-- > 0 && out < capacity) work[out++] = colour;
  };
  while (in.more() && out < capacity) {
    uint8_t b = in.data[in.pos];
    if (b == 0) {
      ++in.pos;
      emit(in.next(), 1);
    } else if (b == 128) {
      ++in.pos;
      uint8_t colour = in.next();
      emit(colour, in.number());
    } else {
      uint32_t distance = in.number();
      uint32_t length = in.next();
      // A reference before the start of the picture has nothing to copy: the stream is broken.
      if (distance == 0 || distance > out) break;
      for (uint32_t i = 0; i < length && out < capacity; ++i, ++out) work[out] = work[out - distance];
    }
    if (in.more()) emit(in.next(), 1);
  }
  for (size_t i = 0; i < out; ++i) sink->put(work[i], 1);
  std::free(work);
  return kStatusOk;
}

void FillMargins(Pixmap* p, uint8_t colour, int top, int left, int bottom, int right) {
  PixmapFillRect(p, 0, 0, p->width, static_cast<int16_t>(top), colour);
  PixmapFillRect(p, 0, static_cast<int16_t>(p->height - bottom), p->width, p->height, colour);
  PixmapFillRect(p, 0, 0, static_cast<int16_t>(left), p->height, colour);
  PixmapFillRect(p, static_cast<int16_t>(p->width - right), 0, p->width, p->height, colour);
}

int ClampMargin(uint32_t v, int limit) { return v > static_cast<uint32_t>(limit) ? limit : static_cast<int>(v); }

}  // namespace

int32_t DecodePixelImage(Pixmap** out, const uint8_t* bytes, int32_t size) {
  *out = nullptr;
  if (size < 4 || std::memcmp(bytes, "Pxlr", 4) != 0) return kStatusWrongFormat;
  if (size < 8) return kStatusDataEnded;
  size_t claimed = ReadBig32(bytes + 4);
  size_t present = static_cast<size_t>(size) - 8;
  size_t areaSize = claimed < present ? claimed : present;
  if (areaSize < 12) return kStatusDataEnded;
  const uint8_t* area = bytes + 8;

  Chunk info;
  if (!FindChunk(area, areaSize, "IINF", &info)) return kStatusNotFound;
  if (info.size < 6) return kStatusDataEnded;
  int width = static_cast<int16_t>(ReadBig16(info.data));
  int height = static_cast<int16_t>(ReadBig16(info.data + 2));
  int colours = ReadBig16(info.data + 4) & 0x1FF;
  if (width > 0 && height > 0 && int64_t{width} * height > kMaxPixelImagePixels) return kStatusBadParam;
  Pixmap* p;
  int32_t status = PixmapCreate(&p, width, height);
  if (status != kStatusOk) return status;
  PixmapFillMask(p, 255);
  PixmapFillPixels(p, 0);  // pixels a short stream never reaches stay black, not undefined

  int top = 0, left = 0, bottom = 0, right = 0;
  Chunk margins;
  if (FindChunk(area, areaSize, "MGIN", &margins)) {
    ByteStream in{margins.data, margins.size};
    uint8_t colour = in.next();
    top = ClampMargin(in.number(), height);
    left = ClampMargin(in.number(), width);
    bottom = ClampMargin(in.number(), height - top);
    right = ClampMargin(in.number(), width - left);
    FillMargins(p, colour, top, left, bottom, right);
  }

  PixelSink sink{p, left, top, width - left - right, height - top - bottom, false};
  Chunk pixels;
  if (FindChunk(area, areaSize, "PIX1", &pixels)) {
    DecodeRunLength({pixels.data, pixels.size}, &sink, colours >= 256);
  } else if (FindChunk(area, areaSize, "PIX5", &pixels)) {
    sink.serpentine = true;
    DecodeRunLength({pixels.data, pixels.size}, &sink, colours >= 256);
  } else if (FindChunk(area, areaSize, "PIXA", &pixels)) {
    sink.serpentine = true;
    status = DecodeBackReferences({pixels.data, pixels.size}, &sink);
  }
  if (status != kStatusOk) {
    PixmapDispose(p);
    return status;
  }
  *out = p;
  return kStatusOk;
}

int32_t LoadPixelImage(Pixmap** out, const char* resourceName) {
  *out = nullptr;
  ResourceBytes resource;
  if (!FindResource(resourceName, &resource)) return kStatusNotFound;
  return DecodePixelImage(out, resource.data, resource.size);
}

}  // namespace tvp
