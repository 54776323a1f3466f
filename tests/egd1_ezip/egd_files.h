// Small writers for EGD1 and EZip files with chosen (also wrong) header
// values, and the pixel block a picture should decode to. Shared by the
// native unit tests and the Windows plug-in test.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <zlib.h>

#include "common/bytes.h"
#include "tools/image/rgb_image.h"

namespace egd_files {

using Bytes = std::vector<uint8_t>;

// Appends `tail` (written out so that GCC 12 at -O3 sees no out-of-bounds
// copy in inserting an empty vector).
inline void append(Bytes* to, const Bytes& tail) {
  if (tail.empty()) return;
  size_t at = to->size();
  to->resize(at + tail.size());
  std::memcpy(to->data() + at, tail.data(), tail.size());
}

// "EGD1" header with W, H, C and D as given, followed by `stream`.
inline Bytes egd1_file(uint16_t width, uint16_t height, uint32_t c, uint32_t d,
                       const Bytes& stream) {
  Bytes f(48, 0);
  std::memcpy(f.data(), "EGD1", 4);
  bytes::store_le16(&f[12], width);
  bytes::store_le16(&f[14], height);
  bytes::store_le32(&f[36], c);
  bytes::store_le32(&f[40], d);
  append(&f, stream);
  return f;
}

// An LZSS stream of literals only: a 0xFF flag byte before each 8 bytes.
inline Bytes literal_stream(const Bytes& data) {
  Bytes s;
  for (size_t i = 0; i < data.size(); ++i) {
    if (i % 8 == 0) {
      size_t n = data.size() - i < 8 ? data.size() - i : 8;
      s.push_back(static_cast<uint8_t>((1u << n) - 1));
    }
    s.push_back(data[i]);
  }
  return s;
}

inline Bytes zlib_pack(const Bytes& data) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  Bytes out(size);
  if (compress2(out.data(), &size, data.data(), static_cast<uLong>(data.size()), 9) != Z_OK) {
    return {};
  }
  out.resize(size);
  return out;
}

// "EDib" block header with W and H, followed by `pixels` (4 bytes each).
inline Bytes edib_block(int32_t width, int32_t height, const Bytes& pixels,
                        const char* magic = "EDib") {
  Bytes b(16, 0);
  std::memcpy(b.data(), magic, 4);
  bytes::store_le32(&b[4], static_cast<uint32_t>(width));
  bytes::store_le32(&b[8], static_cast<uint32_t>(height));
  append(&b, pixels);
  return b;
}

// "EGD EZip" header with L and U as given, followed by `stream`.
inline Bytes ezip_file(uint32_t l, uint32_t u, const Bytes& stream) {
  Bytes f(20, 0);
  std::memcpy(f.data(), "EGD EZip", 8);
  bytes::store_le32(&f[8], l);
  bytes::store_le32(&f[12], u);
  append(&f, stream);
  return f;
}

// A well-formed EZip file around `block`.
inline Bytes ezip_file_of(const Bytes& block) {
  Bytes stream = zlib_pack(block);
  return ezip_file(static_cast<uint32_t>(stream.size() + 16), static_cast<uint32_t>(block.size()),
                   stream);
}

// The 24-bit bottom-up pixel block of `img` with rows of `stride` bytes.
inline Bytes bottom_up_bgr(const image::RgbImage& img, int32_t stride) {
  Bytes px(static_cast<size_t>(stride) * static_cast<size_t>(img.height), 0);
  for (int32_t y = 0; y < img.height; ++y) {
    uint8_t* row = &px[static_cast<size_t>(img.height - 1 - y) * static_cast<size_t>(stride)];
    for (int32_t x = 0; x < img.width; ++x) {
      uint32_t c = img.at(x, y);
      row[3 * x] = static_cast<uint8_t>(c);
      row[3 * x + 1] = static_cast<uint8_t>(c >> 8);
      row[3 * x + 2] = static_cast<uint8_t>(c >> 16);
    }
  }
  return px;
}

// The photographs and drawn pictures the round trips use (odd widths too).
inline std::vector<image::RgbImage> round_trip_pictures(const std::string& source_dir) {
  std::vector<image::RgbImage> pictures;
  for (const char* name : {"coffee.ppm", "astronaut.ppm"}) {
    image::RgbImage img;
    if (image::read_ppm_file(source_dir + "/samples/photos/" + name, &img)) {
      pictures.push_back(img);
    }
  }
  for (auto [w, h] : {std::pair{1, 1}, {3, 2}, {17, 5}, {64, 64}, {255, 33}}) {
    pictures.push_back(image::make_pattern(w, h));
  }
  return pictures;
}

}  // namespace egd_files
