#include "imgplug/edge_chain.h"

#include <cstring>

#include "imgplug/egd_header.h"

namespace imgplug {

uint32_t BitReader::read(int n) {
  uint32_t value = 0;
  for (int i = 0; i < n; ++i) {
    value <<= 1;
    if (pos_ >= data_.size) {
      overrun_ = true;
      continue;
    }
    if ((data_.data[pos_] & mask_) != 0) value |= 1;
    mask_ = static_cast<uint8_t>(mask_ >> 1);
    if (mask_ == 0) {
      mask_ = 0x80;
      ++pos_;
    }
  }
  return value;
}

namespace {

// Pixel access that touches only pixels inside both the picture and the
// block. Coordinates are 64-bit: chains drift sideways without limit.
struct Canvas {
  uint8_t* pixels = nullptr;
  int64_t stride = 0;
  int64_t width = 0;
  int64_t height = 0;

  bool paintable() const { return pixels != nullptr; }
  bool contains(int64_t x, int64_t y) const {
    return pixels != nullptr && x >= 0 && x < width && y >= 0 && y < height;
  }
  uint8_t* at(int64_t x, int64_t y) const {
    return pixels + (height - 1 - y) * stride + 3 * x;
  }
  void paint(int64_t x, int64_t y, uint32_t c) const {
    if (!contains(x, y)) return;
    uint8_t* p = at(x, y);
    p[0] = static_cast<uint8_t>(c);
    p[1] = static_cast<uint8_t>(c >> 8);
    p[2] = static_cast<uint8_t>(c >> 16);
  }
  uint32_t read(int64_t x, int64_t y) const {
    if (!contains(x, y)) return 0;
    const uint8_t* p = at(x, y);
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16;
  }
};

Canvas make_canvas(uint8_t* pixels, size_t pixels_size, int32_t stride, int32_t width,
                   int32_t height) {
  Canvas canvas;
  if (pixels == nullptr || width <= 0 || height <= 0 || stride <= 0) return canvas;
  if (static_cast<int64_t>(width) * 3 > stride) return canvas;
  if (static_cast<uint64_t>(stride) * static_cast<uint64_t>(height) > pixels_size) return canvas;
  canvas.pixels = pixels;
  canvas.stride = stride;
  canvas.width = width;
  canvas.height = height;
  return canvas;
}

// Run length, Elias-gamma style: 0 is 1; 1, then k - 1 ones and a zero, then
// k bits v is v + 2^k. False when k reaches 31: such a length does not fit.
bool read_run_length(BitReader* in, int64_t* length) {
  if (in->read(1) == 0) {
    *length = 1;
    return true;
  }
  int k = 1;
  while (in->read(1) == 1) {
    if (++k >= 31) return false;
  }
  *length = static_cast<int64_t>(in->read(k)) + (int64_t{1} << k);
  return true;
}

// One chain step: false for the end code, else the sideways move in *dx.
// Cut codes read as 0 bits and so end the chain.
bool read_step(BitReader* in, int* dx) {
  switch (in->read(2)) {
    case 1: *dx = 0; return true;
    case 2: *dx = -1; return true;
    case 3: *dx = 1; return true;
    default: break;
  }
  switch (in->read(2)) {
    case 0: return false;
    case 1: *dx = -2; return true;
    case 2: *dx = 2; return true;
    default: break;
  }
  switch (in->read(2)) {
    case 0: *dx = -3; return true;
    case 1: *dx = 3; return true;
    case 2: *dx = -4; return true;
    default: break;
  }
  switch (in->read(2)) {
    case 0: *dx = 4; return true;
    case 1: *dx = -5; return true;
    case 2: *dx = 5; return true;
    default: *dx = 0; return true;
  }
}

}  // namespace

DecodeStatus edge_chain_decode(bytes::Span file, uint8_t* pixels, size_t pixels_size,
                               int32_t stride, int32_t height, spi::ProgressCallback progress,
                               int32_t lData) {
  if (pixels != nullptr && pixels_size != 0) std::memset(pixels, 0, pixels_size);
  const int32_t count = edge_chain_command_count(file);
  const int32_t width = read_egd_header(file).width;
  const Canvas canvas = make_canvas(pixels, pixels_size, stride, width, height);

  BitReader in(file, kEdgeChainBitsOffset);
  uint32_t cache[128] = {};
  uint32_t literals = 0;
  int64_t x = 0;
  int64_t y = 0;
  auto advance = [&] {
    if (++x >= width) {
      x = 0;
      ++y;
    }
  };

  // Every command consumes at least one bit, so the stream ends the loop long
  // before a large N does.
  for (int32_t j = 0; j < count; ++j) {
    if (progress != nullptr && progress(j, count, lData) != 0) return DecodeStatus::kCancelled;

    int64_t length = 0;
    if (!read_run_length(&in, &length) || in.overrun()) break;

    uint32_t c = 0;
    if (in.read(1) == 1) {
      c = cache[in.read(7)];
    } else {
      c = in.read(24);
      cache[literals++ % 128] = c;
    }
    if (in.overrun()) break;
    // Bit 1 of green marks the pixel as painted; the cache keeps the value without it.
    c |= 0x200;

    canvas.paint(x, y, c);
    if (in.read(1) == 1) {
      int64_t cx = x;
      int64_t cy = y;
      int dx = 0;
      while (read_step(&in, &dx) && !in.overrun()) {
        cx += dx;
        ++cy;
        canvas.paint(cx, cy, c);
      }
    }
    if (in.overrun()) break;
    advance();

    // Past the bottom row nothing can be painted any more (the cursor and
    // chains only move down), so the rest of a longer run is dropped.
    for (int64_t rest = length - 1; rest > 0 && canvas.paintable() && y < canvas.height; --rest) {
      const uint32_t painted = canvas.read(x, y);
      if (painted != 0) c = painted;
      canvas.paint(x, y, c);
      advance();
    }
  }

  if (progress != nullptr && progress(count, count, lData) != 0) return DecodeStatus::kCancelled;
  return DecodeStatus::kOk;
}

}  // namespace imgplug
