// Writes EZip pictures: "EGD EZip" around a zlib-compressed "EDib" block of
// 32-bit pixels (blue, green, red, 0), bottom row stored first.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/image/rgb_image.h"

namespace imgenc {

// The complete EZip file of `img`; empty when compression fails.
std::vector<uint8_t> encode_ezip(const image::RgbImage& img);

}  // namespace imgenc
