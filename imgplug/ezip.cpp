#include "imgplug/ezip.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#define ZLIB_CONST
#include <zlib.h>

#include "imgplug/pixel_block.h"

namespace imgplug {

namespace {

constexpr size_t kStreamOffset = 20;
constexpr uint32_t kLengthBias = 16;  // L counts 16 bytes besides the stream
constexpr size_t kEdibHeaderSize = 16;
constexpr size_t kBytesPerPixel = 4;

// The zlib stream bytes present in the file: L - 16 from offset 20, cut at
// the end of the file.
bytes::Span stream_of(bytes::Span file) {
  uint32_t length_value = bytes::load_le32_or_zero(file, 8);
  if (length_value < kLengthBias || file.size <= kStreamOffset) return {};
  size_t present = file.size - kStreamOffset;
  uint32_t length = length_value - kLengthBias;
  return {file.data + kStreamOffset, length < present ? length : present};
}

// Inflates a stream piece by piece into caller-sized destinations, so the
// destination can be chosen after the first bytes are known.
struct Inflater {
  z_stream zs{};
  const uint8_t* next = nullptr;
  size_t left = 0;
  bool ended = false;
};

bool inflater_start(Inflater* inf, bytes::Span stream) {
  inf->next = stream.data;
  inf->left = stream.size;
  return inflateInit(&inf->zs) == Z_OK;
}

// Inflates up to `want` bytes into out; returns how many arrived. Once the
// stream ends or turns out damaged or short, nothing more arrives.
size_t inflater_read(Inflater* inf, uint8_t* out, size_t want) {
  size_t got = 0;
  while (got < want && !inf->ended) {
    if (inf->zs.avail_in == 0 && inf->left > 0) {
      size_t piece = inf->left < UINT_MAX ? inf->left : UINT_MAX;
      inf->zs.next_in = inf->next;
      inf->zs.avail_in = static_cast<uInt>(piece);
      inf->next += piece;
      inf->left -= piece;
    }
    size_t room = want - got < UINT_MAX ? want - got : UINT_MAX;
    inf->zs.next_out = out + got;
    inf->zs.avail_out = static_cast<uInt>(room);
    int rc = inflate(&inf->zs, Z_NO_FLUSH);
    size_t produced = room - inf->zs.avail_out;
    got += produced;
    if (rc != Z_OK || (produced == 0 && inf->zs.avail_in == 0 && inf->left == 0)) {
      inf->ended = true;
    }
  }
  return got;
}

// Bytes of the "EDib" block the picture uses: 16 + W x H x 4 (16 when empty).
bool block_needed(int32_t width, int32_t height, uint64_t* out) {
  *out = kEdibHeaderSize;
  if (width <= 0 || height <= 0) return true;
  uint64_t pixel_bytes = 0;
  return bytes::checked_mul<uint64_t>(static_cast<uint64_t>(width) * kBytesPerPixel,
                                      static_cast<uint64_t>(height), &pixel_bytes) &&
         bytes::checked_add<uint64_t>(pixel_bytes, kEdibHeaderSize, out) && *out <= SIZE_MAX;
}

DecodeStatus inflate_picture(Inflater* inf, uint32_t declared_size, EdibPicture* out) {
  // The block header first: U may be smaller than 16, then the rest reads 0.
  uint8_t head[kEdibHeaderSize] = {};
  size_t head_wanted = declared_size < kEdibHeaderSize ? declared_size : kEdibHeaderSize;
  size_t head_got = inflater_read(inf, head, head_wanted);
  if (head_got < 4 || std::memcmp(head, "EDib", 4) != 0) return DecodeStatus::kBadData;

  int32_t width = static_cast<int32_t>(bytes::load_le32(head + 4));
  int32_t height = static_cast<int32_t>(bytes::load_le32(head + 8));
  PixelBlockGeometry geometry;
  uint64_t needed = 0;
  if (!pixel_block_geometry(width, height, &geometry) || !block_needed(width, height, &needed)) {
    return DecodeStatus::kTooLarge;
  }

  size_t block_size = static_cast<size_t>(declared_size < needed ? declared_size : needed);
  auto* block = static_cast<uint8_t*>(std::calloc(block_size, 1));
  if (block == nullptr) return DecodeStatus::kNoMemory;
  std::memcpy(block, head, head_wanted);
  if (block_size > head_wanted) {
    inflater_read(inf, block + head_wanted, block_size - head_wanted);
  }
  out->width = width;
  out->height = height;
  out->block = block;
  out->block_size = block_size;
  return DecodeStatus::kOk;
}

}  // namespace

DecodeStatus ezip_inflate(bytes::Span file, EdibPicture* out) {
  *out = {};
  Inflater inf;
  if (!inflater_start(&inf, stream_of(file))) return DecodeStatus::kNoMemory;
  DecodeStatus status = inflate_picture(&inf, bytes::load_le32_or_zero(file, 12), out);
  inflateEnd(&inf.zs);
  return status;
}

void ezip_copy_rows(const EdibPicture& pic, uint8_t* pixels, size_t pixels_size, int32_t stride) {
  if (pic.width <= 0 || pic.height <= 0 || stride <= 0 || pic.block_size <= kEdibHeaderSize) {
    return;
  }
  const size_t width = static_cast<size_t>(pic.width);
  const size_t row_stride = static_cast<size_t>(stride);
  const uint8_t* const pixel_data = pic.block + kEdibHeaderSize;
  const size_t pixel_bytes = pic.block_size - kEdibHeaderSize;
  // A pixel the block holds only partly keeps the bytes it has; the rest
  // read as zero, like the bytes the stream did not deliver.
  const size_t pixels_held = (pixel_bytes + kBytesPerPixel - 1) / kBytesPerPixel;
  for (size_t row = 0; row < static_cast<size_t>(pic.height); ++row) {
    size_t first = row * width;  // < pixels_held: no overflow
    if (first >= pixels_held) break;
    uint64_t row_offset = static_cast<uint64_t>(row) * row_stride;
    if (row_offset >= pixels_size) break;
    size_t count = pixels_held - first < width ? pixels_held - first : width;
    size_t room = pixels_size - static_cast<size_t>(row_offset);
    if (room > row_stride) room = row_stride;
    if (count > room / 3) count = room / 3;
    size_t src = first * kBytesPerPixel;
    uint8_t* dst = pixels + row_offset;
    for (size_t x = 0; x < count; ++x, src += kBytesPerPixel, dst += 3) {
      size_t have = pixel_bytes - src;
      std::memcpy(dst, pixel_data + src, have < 3 ? have : 3);
    }
  }
}

void ezip_release(EdibPicture* pic) {
  std::free(pic->block);
  *pic = {};
}

}  // namespace imgplug
