// Shared by the native decoder and encoder tests: decoding a file image into
// a pixel block laid out as the plug-in lays it out, and reading it back.
#pragma once

#include <cstdint>
#include <vector>

#include "imgplug/edge_chain.h"
#include "imgplug/egd_header.h"
#include "imgplug/pixel_block.h"
#include "tools/image/rgb_image.h"

namespace imgplug_test {

struct Decoded {
  imgplug::DecodeStatus status = imgplug::DecodeStatus::kOk;
  int32_t width = 0;
  int32_t height = 0;
  int32_t stride = 0;
  std::vector<uint8_t> pixels;

  // 0xRRGGBB of pixel (x, y), y = 0 the top row.
  uint32_t at(int32_t x, int32_t y) const {
    const uint8_t* p = &pixels[static_cast<size_t>(height - 1 - y) * stride + 3 * x];
    return static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[0];
  }
};

inline Decoded decode(const std::vector<uint8_t>& file, spi::ProgressCallback progress = nullptr,
                      int32_t lData = 0) {
  Decoded d;
  const bytes::Span span{file.data(), file.size()};
  const imgplug::EgdHeader h = imgplug::read_egd_header(span);
  imgplug::PixelBlockGeometry g;
  if (!imgplug::pixel_block_geometry(h.width, h.height, &g)) {
    d.status = imgplug::DecodeStatus::kTooLarge;
    return d;
  }
  d.width = h.width;
  d.height = h.height;
  d.stride = g.stride;
  d.pixels.assign(g.size, 0xAA);  // the decoder clears the block itself
  d.status = imgplug::edge_chain_decode(span, d.pixels.data(), d.pixels.size(), g.stride,
                                        h.height, progress, lData);
  return d;
}

// The picture as the format paints it: bit 1 of green set everywhere.
inline bool decodes_to(const Decoded& d, const image::RgbImage& img) {
  if (d.status != imgplug::DecodeStatus::kOk || d.width != img.width || d.height != img.height) {
    return false;
  }
  for (int32_t y = 0; y < img.height; ++y) {
    for (int32_t x = 0; x < img.width; ++x) {
      if (d.at(x, y) != (img.at(x, y) | 0x200)) return false;
    }
    // Padding bytes at the end of each row stay zero.
    for (int32_t i = img.width * 3; i < d.stride; ++i) {
      if (d.pixels[static_cast<size_t>(img.height - 1 - y) * d.stride + i] != 0) return false;
    }
  }
  return true;
}

}  // namespace imgplug_test
