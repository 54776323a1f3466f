// EZip pictures: ezip_inflate on the file image, then ezip_copy_rows into a
// pixel block of exactly stride x H bytes, then ezip_release.
//
// Invariants: a successful inflate describes a picture whose pixel block can
// exist and holds an "EDib" block no larger than the picture needs; the copy
// writes nothing outside the block (ASan), leaves the row fill bytes zero and
// puts the first 3 bytes of every stored pixel at its place (zero where the
// block ends); release leaves nothing held (LeakSanitizer).

#include <zlib.h>

#include <cstdint>
#include <cstring>

#include "common/bytes.h"
#include "fuzz/fuzz_check.h"
#include "imgplug/ezip.h"
#include "imgplug/pixel_block.h"

namespace {

constexpr size_t kHeaderSize = 20;
constexpr size_t kEdibHeaderSize = 16;

// The picture size the stream announces: inflates just the "EDib" header, so
// that pictures over the harness's pixel cap are skipped before the decoder
// allocates for them. False when the stream does not get that far.
bool peek_edib_size(bytes::Span file, int32_t* width, int32_t* height) {
  if (file.size <= kHeaderSize) return false;
  const uint32_t length = bytes::load_le32_or_zero(file, 8);
  if (length < 16) return false;
  const size_t available = file.size - kHeaderSize;
  const size_t stream_size = length - 16u < available ? length - 16u : available;

  uint8_t head[kEdibHeaderSize] = {};
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return false;
  z.next_in = const_cast<Bytef*>(file.data + kHeaderSize);
  z.avail_in = static_cast<uInt>(stream_size < UINT32_MAX ? stream_size : UINT32_MAX);
  z.next_out = head;
  z.avail_out = sizeof(head);
  inflate(&z, Z_SYNC_FLUSH);
  const bool complete = z.avail_out == 0;
  inflateEnd(&z);
  if (!complete || std::memcmp(head, "EDib", 4) != 0) return false;
  *width = static_cast<int32_t>(bytes::load_le32(head + 4));
  *height = static_cast<int32_t>(bytes::load_le32(head + 8));
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const bytes::Span file{data, size};
  int32_t peek_width = 0, peek_height = 0;
  if (peek_edib_size(file, &peek_width, &peek_height) && peek_width > 0 && peek_height > 0 &&
      int64_t{peek_width} * peek_height > kMaxFuzzPixels) {
    return 0;
  }

  imgplug::EdibPicture pic;
  const imgplug::DecodeStatus status = imgplug::ezip_inflate(file, &pic);
  if (status != imgplug::DecodeStatus::kOk) {
    FUZZ_CHECK(pic.block == nullptr);
    return 0;
  }
  FUZZ_CHECK(pic.block != nullptr);
  FUZZ_CHECK(pic.block_size >= 4 && std::memcmp(pic.block, "EDib", 4) == 0);
  const int64_t pixels = pic.width > 0 && pic.height > 0 ? int64_t{pic.width} * pic.height : 0;
  FUZZ_CHECK(pic.block_size <= kEdibHeaderSize + static_cast<uint64_t>(pixels) * 4 ||
             pic.block_size <= kEdibHeaderSize);

  imgplug::PixelBlockGeometry geometry;
  FUZZ_CHECK(imgplug::pixel_block_geometry(pic.width, pic.height, &geometry));
  ExactBlock block(geometry.size);
  imgplug::ezip_copy_rows(pic, block.data(), block.size(), geometry.stride);

  for (int32_t r = 0; r < pic.height; ++r) {
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
