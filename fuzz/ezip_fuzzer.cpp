// EZip pictures: ezip_inflate on the file image, then ezip_copy_rows into a
// pixel block of exactly stride x H bytes, then ezip_release.
//
// Invariants: a successful inflate describes a picture whose pixel block can
// exist and holds an "EDib" block no larger than the picture needs; the copy
// writes nothing outside the block (ASan), leaves the row fill bytes zero and
// puts the first 3 bytes of every stored pixel at its place (zero where the
// block ends); release leaves nothing held (LeakSanitizer).

#include <cstdint>
#include <cstring>

#include "common/bytes.h"
#include "fuzz/edib_peek.h"
#include "fuzz/fuzz_check.h"
#include "imgplug/ezip.h"
#include "imgplug/pixel_block.h"

namespace {

constexpr size_t kEdibHeaderSize = 16;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const bytes::Span file{data, size};
  if (edib_over_cap(file)) return 0;

  imgplug::EdibPicture pic;
  const imgplug::DecodeStatus status = imgplug::ezip_inflate(file, &pic);
  if (status != imgplug::DecodeStatus::kOk) {
    FUZZ_CHECK(pic.block == nullptr);
    return 0;
  }
  FUZZ_CHECK(pic.block != nullptr);
  FUZZ_CHECK(pic.block_size >= 4 && std::memcmp(pic.block, "EDib", 4) == 0);
  const int64_t pixels = pic.width > 0 && pic.height > 0 ? int64_t{pic.width} * pic.height : 0;
  if (pixels > kMaxFuzzPixels) {
    // Only a stream that breaks off inside the "EDib" header gets past the
    // peek with a large picture; the decoder's own block is bounded by U.
    imgplug::ezip_release(&pic);
    return 0;
  }
  FUZZ_CHECK(pic.block_size <= kEdibHeaderSize + static_cast<uint64_t>(pixels) * 4 ||
             pic.block_size <= kEdibHeaderSize);

  imgplug::PixelBlockGeometry geometry;
  FUZZ_CHECK(imgplug::pixel_block_geometry(pic.width, pic.height, &geometry));
  ExactBlock block(geometry.size);
  imgplug::ezip_copy_rows(pic, block.data(), block.size(), geometry.stride);

  for (int32_t r = 0; r < pic.height && geometry.size > 0; ++r) {
    const uint8_t* row = block.data() + static_cast<size_t>(r) * geometry.stride;
    for (int32_t x = 0; x < pic.width; ++x) {
      const size_t source = kEdibHeaderSize + (static_cast<size_t>(r) * pic.width + x) * 4;
      for (size_t c = 0; c < 3; ++c) {
        const uint8_t got = row[3 * x + c];
        if (source + 3 <= pic.block_size) {
          FUZZ_CHECK(got == pic.block[source + c]);
        } else {
          // A pixel cut by the end of the block: its bytes may be copied
          // as far as they exist or left zero.
          FUZZ_CHECK(got == 0 || (source + c < pic.block_size && got == pic.block[source + c]));
        }
      }
    }
    for (int32_t i = pic.width * 3; i < geometry.stride; ++i) FUZZ_CHECK(row[i] == 0);
  }

  imgplug::ezip_release(&pic);
  FUZZ_CHECK(pic.block == nullptr);
  return 0;
}
