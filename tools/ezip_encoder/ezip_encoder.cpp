#include "tools/ezip_encoder/ezip_encoder.h"

#include <cstring>

#include <zlib.h>

#include "common/bytes.h"

namespace imgenc {

std::vector<uint8_t> encode_ezip(const image::RgbImage& img) {
  if (img.width < 0 || img.height < 0) return {};
  const size_t width = static_cast<size_t>(img.width);
  const size_t height = static_cast<size_t>(img.height);

  // "EDib" block: header, then rows in bitmap order (bottom row first),
  // each pixel blue, green, red and an unused byte.
  const uint64_t block_size = 16 + static_cast<uint64_t>(width) * height * 4;
  if (block_size > UINT32_MAX) return {};
  std::vector<uint8_t> block(static_cast<size_t>(block_size), 0);
  std::memcpy(block.data(), "EDib", 4);
  bytes::store_le32(&block[4], static_cast<uint32_t>(img.width));
  bytes::store_le32(&block[8], static_cast<uint32_t>(img.height));
  uint8_t* dst = block.data() + 16;
  for (size_t row = 0; row < height; ++row) {
    const uint8_t* src = &img.rgb[(height - 1 - row) * width * 3];
    for (size_t x = 0; x < width; ++x, src += 3, dst += 4) {
      dst[0] = src[2];
      dst[1] = src[1];
      dst[2] = src[0];
    }
  }

  uLongf packed_size = compressBound(static_cast<uLong>(block.size()));
  std::vector<uint8_t> file(20 + packed_size, 0);
  if (compress2(file.data() + 20, &packed_size, block.data(), static_cast<uLong>(block.size()),
                Z_BEST_COMPRESSION) != Z_OK ||
      packed_size > UINT32_MAX - 16) {
    return {};
  }
  file.resize(20 + packed_size);
  std::memcpy(file.data(), "EGD EZip", 8);
  bytes::store_le32(&file[8], static_cast<uint32_t>(packed_size + 16));
  bytes::store_le32(&file[12], static_cast<uint32_t>(block.size()));
  return file;
}

}  // namespace imgenc
