// A picture in memory for the encoders and tests: top-down rows of
// red, green, blue bytes, no padding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace image {

struct RgbImage {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> rgb;  // width * height * 3 bytes

  // 0xRRGGBB of pixel (x, y), y = 0 being the top row.
  uint32_t at(int32_t x, int32_t y) const {
    const uint8_t* p = &rgb[(static_cast<size_t>(y) * static_cast<size_t>(width) + x) * 3];
    return static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2];
  }
  void set(int32_t x, int32_t y, uint32_t rrggbb) {
    uint8_t* p = &rgb[(static_cast<size_t>(y) * static_cast<size_t>(width) + x) * 3];
    p[0] = static_cast<uint8_t>(rrggbb >> 16);
    p[1] = static_cast<uint8_t>(rrggbb >> 8);
    p[2] = static_cast<uint8_t>(rrggbb);
  }
};

RgbImage make_image(int32_t width, int32_t height);

// Binary PPM (P6, maxval 255). parse_ppm returns false for anything else.
bool parse_ppm(const uint8_t* data, size_t size, RgbImage* out);
std::vector<uint8_t> format_ppm(const RgbImage& img);

// Whole-file helpers for tools and tests.
bool read_file(const std::string& path, std::vector<uint8_t>* out);
bool write_file(const std::string& path, const std::vector<uint8_t>& data);
bool read_ppm_file(const std::string& path, RgbImage* out);

// A drawn test picture: gradients, flat areas, sharp diagonal edges and a
// few lone pixels, so every coding path of the encoders gets used.
RgbImage make_pattern(int32_t width, int32_t height);

}  // namespace image
