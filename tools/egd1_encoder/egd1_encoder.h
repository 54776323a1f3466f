// Writes EGD1 pictures: top-down 32-bit pixels (0, red, green, blue) packed
// with LZSS over a 4096-byte ring.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/image/rgb_image.h"

namespace imgenc {

// Compresses `size` bytes into an LZSS stream that the EGD1 expander turns
// back into exactly those bytes when told to produce `size` bytes: a flag byte
// (bit set = literal) before each 8 items, matches of 3 to 18 bytes coded as
// a 12-bit ring position and a 4-bit length - 3. The ring starts all zero with
// the write position at 0xFEE, and matches may use those zeros.
std::vector<uint8_t> lzss_compress(const uint8_t* data, size_t size);

// The complete EGD1 file of `img`: the 48-byte header and the stream. Empty
// when the picture does not fit the format (width or height above 32767).
std::vector<uint8_t> encode_egd1(const image::RgbImage& img);

}  // namespace imgenc
