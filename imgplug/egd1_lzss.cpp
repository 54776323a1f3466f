#include "imgplug/egd1_lzss.h"

#include <cstdlib>
#include <cstring>

namespace imgplug {

namespace {

constexpr size_t kHeaderSize = 48;
constexpr size_t kRingSize = 4096;
constexpr size_t kRingStart = 0xFEE;
constexpr size_t kBytesPerPixel = 4;

struct Egd1Header {
  int32_t width;
  int32_t height;
  uint32_t stream_size;    // C
  uint32_t expanded_size;  // D
};

Egd1Header read_header(bytes::Span file) {
  Egd1Header h;
  h.width = static_cast<int16_t>(bytes::load_le16_or_zero(file, 12));
  h.height = static_cast<int16_t>(bytes::load_le16_or_zero(file, 14));
  h.stream_size = bytes::load_le32_or_zero(file, 36);
  h.expanded_size = bytes::load_le32_or_zero(file, 40);
  return h;
}

// The stream bytes present in the file: C from offset 48, cut at the end.
bytes::Span stream_of(bytes::Span file, const Egd1Header& h) {
  if (file.size <= kHeaderSize) return {};
  size_t present = file.size - kHeaderSize;
  size_t length = h.stream_size < present ? h.stream_size : present;
  return {file.data + kHeaderSize, length};
}

}  // namespace

size_t lzss_expand(bytes::Span stream, uint8_t* out, size_t out_size) {
  uint8_t ring[kRingSize] = {};
  size_t r = kRingStart;
  unsigned flags = 0;
  size_t in = 0;
  size_t written = 0;
  while (in < stream.size && written < out_size) {
    if ((flags & 0x100) == 0) {
      // Eight items follow a flag byte; bit 8 marks that flags remain.
      flags = stream.data[in++] | 0xFF00u;
      if (in == stream.size) break;
      continue;
    }
    if (flags & 1) {
      uint8_t b = stream.data[in++];
      out[written++] = b;
      ring[r] = b;
      r = (r + 1) % kRingSize;
    } else {
      if (stream.size - in < 2) break;
      unsigned b0 = stream.data[in];
      unsigned b1 = stream.data[in + 1];
      in += 2;
      size_t p = b0 | ((b1 & 0xF0u) << 4);
      size_t length = (b1 & 0x0Fu) + 3;
      // Byte by byte: the source may run into what this match writes.
      for (size_t k = 0; k < length && written < out_size; ++k) {
        uint8_t b = ring[p];
        out[written++] = b;
        ring[r] = b;
        r = (r + 1) % kRingSize;
        p = (p + 1) % kRingSize;
      }
    }
    flags >>= 1;
  }
  return written;
}

size_t egd1_scratch_size(bytes::Span file) {
  Egd1Header h = read_header(file);
  if (h.width <= 0 || h.height <= 0) return 0;
  // |W|, |H| < 2^15, so the product fits in 64 bits; the min keeps it in size_t.
  uint64_t picture = 0;
  if (!bytes::checked_mul<uint64_t>(static_cast<uint64_t>(h.width) * kBytesPerPixel,
                                    static_cast<uint64_t>(h.height), &picture)) {
    return 0;
  }
  uint64_t wanted = h.expanded_size < picture ? h.expanded_size : picture;
  return wanted <= SIZE_MAX ? static_cast<size_t>(wanted) : 0;
}

DecodeStatus egd1_decode(bytes::Span file, uint8_t* pixels, size_t pixels_size, int32_t stride) {
  Egd1Header h = read_header(file);
  size_t scratch_size = egd1_scratch_size(file);
  if (scratch_size == 0 || stride <= 0) return DecodeStatus::kOk;

  // Rounded up to whole pixels (never past W x H x 4): the bytes of a pixel
  // that D cuts off read as zero, like every byte the stream does not fill.
  const size_t held = (scratch_size + kBytesPerPixel - 1) / kBytesPerPixel * kBytesPerPixel;
  auto* scratch = static_cast<uint8_t*>(std::calloc(held, 1));
  if (scratch == nullptr) return DecodeStatus::kNoMemory;
  lzss_expand(stream_of(file, h), scratch, scratch_size);

  // Top-down source rows into bottom-up memory rows; only the pixels that the
  // scratch holds are converted, the rest of the block stays zero.
  const size_t width = static_cast<size_t>(h.width);
  const size_t height = static_cast<size_t>(h.height);
  const size_t row_stride = static_cast<size_t>(stride);
  const size_t pixels_held = held / kBytesPerPixel;
  for (size_t s = 0; s < height; ++s) {
    size_t first = s * width;  // < pixels_held <= SIZE_MAX / 4: no overflow
    if (first >= pixels_held) break;
    size_t count = pixels_held - first < width ? pixels_held - first : width;
    uint64_t row_offset = static_cast<uint64_t>(height - 1 - s) * row_stride;
    if (row_offset >= pixels_size) continue;
    size_t room = pixels_size - static_cast<size_t>(row_offset);
    if (room > row_stride) room = row_stride;
    if (count > room / 3) count = room / 3;
    const uint8_t* src = scratch + first * kBytesPerPixel;
    uint8_t* dst = pixels + row_offset;
    for (size_t x = 0; x < count; ++x, src += kBytesPerPixel, dst += 3) {
      dst[0] = src[3];  // blue
      dst[1] = src[2];  // green
      dst[2] = src[1];  // red
    }
  }
  std::free(scratch);
  return DecodeStatus::kOk;
}

}  // namespace imgplug
