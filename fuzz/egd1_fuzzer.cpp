// EGD1 pictures: the file image goes through egd1_decode into a pixel block of
// exactly stride x H bytes, and its stream through lzss_expand.
//
// Invariants: nothing is written outside the block (ASan), the row fill bytes
// stay zero, every pixel whose 4 expanded bytes exist holds them converted
// (blue, green, red from ignored, red, green, blue), and expanding into a
// shorter output yields a prefix of the longer expansion.

#include <cstdint>
#include <cstring>

#include "common/bytes.h"
#include "fuzz/fuzz_check.h"
#include "imgplug/egd1_lzss.h"
#include "imgplug/pixel_block.h"

namespace {

constexpr size_t kHeaderSize = 48;

// The C stream bytes from offset 48, cut at the end of the file.
bytes::Span stream_of(bytes::Span file) {
  if (file.size <= kHeaderSize) return {};
  const uint64_t declared = bytes::load_le32_or_zero(file, 36);
  const uint64_t available = file.size - kHeaderSize;
  return {file.data + kHeaderSize, static_cast<size_t>(declared < available ? declared : available)};
}

// Expanding into out_size bytes and into fewer must agree on the common part.
void check_expand_prefix(bytes::Span stream, size_t out_size) {
  ExactBlock full(out_size);
  const size_t written = imgplug::lzss_expand(stream, full.data(), full.size());
  FUZZ_CHECK(written <= out_size);
  const size_t shorter_size = out_size / 2;
  ExactBlock shorter(shorter_size);
  const size_t shorter_written = imgplug::lzss_expand(stream, shorter.data(), shorter.size());
  FUZZ_CHECK(shorter_written == (written < shorter_size ? written : shorter_size));
  FUZZ_CHECK(std::memcmp(full.data(), shorter.data(), shorter_written) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const bytes::Span file{data, size};
  const int32_t width = static_cast<int16_t>(bytes::load_le16_or_zero(file, 12));
  const int32_t height = static_cast<int16_t>(bytes::load_le16_or_zero(file, 14));
  imgplug::PixelBlockGeometry geometry;
  if (!imgplug::pixel_block_geometry(width, height, &geometry)) return 0;
  const int64_t pixels = width > 0 && height > 0 ? int64_t{width} * height : 0;
  if (pixels > kMaxFuzzPixels) return 0;

  ExactBlock block(geometry.size);
  const imgplug::DecodeStatus status =
      imgplug::egd1_decode(file, block.data(), block.size(), geometry.stride);
  FUZZ_CHECK(status == imgplug::DecodeStatus::kOk);

  // What the decoder expands: D bytes, but no more than the picture uses.
  const uint64_t declared = bytes::load_le32_or_zero(file, 40);
  const size_t expanded_size =
      static_cast<size_t>(declared < static_cast<uint64_t>(pixels) * 4 ? declared : pixels * 4);
  ExactBlock expanded(expanded_size);
  const bytes::Span stream = stream_of(file);
  const size_t produced = imgplug::lzss_expand(stream, expanded.data(), expanded.size());
  FUZZ_CHECK(produced <= expanded_size);

  for (int32_t y = 0; y < height && geometry.size > 0; ++y) {
    const uint8_t* row = block.data() + static_cast<size_t>(height - 1 - y) * geometry.stride;
    for (int32_t x = 0; x < width; ++x) {
      const size_t source = (static_cast<size_t>(y) * width + x) * 4;
      if (source + 4 > produced) break;
      const uint8_t* s = expanded.data() + source;
      FUZZ_CHECK(row[3 * x] == s[3] && row[3 * x + 1] == s[2] && row[3 * x + 2] == s[1]);
    }
    for (int32_t i = width * 3; i < geometry.stride; ++i) FUZZ_CHECK(row[i] == 0);
  }

  // lzss_expand alone, on the stream and on the whole input, with output
  // sizes the picture does not constrain (bounded to keep cases fast).
  check_expand_prefix(stream, expanded_size < 65536 ? expanded_size : 65536);
  check_expand_prefix(file, size * 9);
  return 0;
}
