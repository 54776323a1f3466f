// The EGD header reader and the variant dispatch, as a picture request goes
// through them: the variant and the size from the first bytes, then the pixel
// block for that size (exactly stride x H bytes, or the one the EZip decoder
// sizes after inflating) filled by the variant's decoder. Pictures over the
// harness's pixel cap are skipped.
//
// Invariants: the magic test, the variant and W, H, depth agree with the
// file layouts read independently here ("EGD EZip" over 8 bytes, "EGD1" over
// 4 with sign-extended 16-bit sizes at 12 and 14, else int32 sizes at 8 and
// 12, missing bytes 0); every decoder succeeds on whatever it is given
// (damage is not an error) without writing outside its block.

#include <cstdint>
#include <cstring>

#include "common/bytes.h"
#include "fuzz/edib_peek.h"
#include "fuzz/fuzz_check.h"
#include "imgplug/edge_chain.h"
#include "imgplug/egd1_lzss.h"
#include "imgplug/egd_header.h"
#include "imgplug/ezip.h"
#include "imgplug/pixel_block.h"

namespace {

int32_t field32(const uint8_t* data, size_t size, size_t offset) {
  uint8_t b[4] = {};
  for (size_t i = 0; i < 4; ++i) {
    if (offset + i < size) b[i] = data[offset + i];
  }
  return static_cast<int32_t>(b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24);
}

int32_t field16(const uint8_t* data, size_t size, size_t offset) {
  const uint8_t lo = offset < size ? data[offset] : 0;
  const uint8_t hi = offset + 1 < size ? data[offset + 1] : 0;
  return static_cast<int16_t>(lo | hi << 8);
}

bool begins(const uint8_t* data, size_t size, const char* magic) {
  const size_t n = std::strlen(magic);
  return size >= n && std::memcmp(data, magic, n) == 0;
}

// Decodes as the picture request does once the header is read.
void decode_variant(bytes::Span file, imgplug::EgdVariant variant, const imgplug::EgdHeader& h) {
  if (variant == imgplug::EgdVariant::kEzip) {
    // The EZip decoder learns the size from the payload.
    if (edib_over_cap(file)) return;
    imgplug::EdibPicture pic;
    if (imgplug::ezip_inflate(file, &pic) != imgplug::DecodeStatus::kOk) return;
    imgplug::PixelBlockGeometry g;
    FUZZ_CHECK(imgplug::pixel_block_geometry(pic.width, pic.height, &g));
    if (pic.width <= 0 || pic.height <= 0 || int64_t{pic.width} * pic.height <= kMaxFuzzPixels) {
      ExactBlock block(g.size);
      imgplug::ezip_copy_rows(pic, block.data(), block.size(), g.stride);
    }
    imgplug::ezip_release(&pic);
    return;
  }

  imgplug::PixelBlockGeometry g;
  if (!imgplug::pixel_block_geometry(h.width, h.height, &g)) return;
  const int64_t pixels = h.width > 0 && h.height > 0 ? int64_t{h.width} * h.height : 0;
  if (pixels > kMaxFuzzPixels) return;
  ExactBlock block(g.size);
  const imgplug::DecodeStatus status =
      variant == imgplug::EgdVariant::kEgd1
          ? imgplug::egd1_decode(file, block.data(), block.size(), g.stride)
          : imgplug::edge_chain_decode(file, block.data(), block.size(), g.stride, h.height,
                                       nullptr, 0);
  FUZZ_CHECK(status == imgplug::DecodeStatus::kOk);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const bytes::Span file{data, size};

  FUZZ_CHECK(imgplug::has_egd_magic(file) == begins(data, size, "EGD"));

  const imgplug::EgdVariant variant = imgplug::detect_egd_variant(file);
  imgplug::EgdVariant expected = imgplug::EgdVariant::kEdgeChain;
  if (begins(data, size, "EGD EZip")) expected = imgplug::EgdVariant::kEzip;
  if (begins(data, size, "EGD1")) expected = imgplug::EgdVariant::kEgd1;
  FUZZ_CHECK(variant == expected);

  const imgplug::EgdHeader h = imgplug::read_egd_header(file);
  FUZZ_CHECK(h.depth == 24);
  switch (variant) {
    case imgplug::EgdVariant::kEgd1:
      FUZZ_CHECK(h.width == field16(data, size, 12) && h.height == field16(data, size, 14));
      break;
    case imgplug::EgdVariant::kEzip:
      FUZZ_CHECK(h.width == 0 && h.height == 0);
      break;
    case imgplug::EgdVariant::kEdgeChain:
      FUZZ_CHECK(h.width == field32(data, size, 8) && h.height == field32(data, size, 12));
      FUZZ_CHECK(imgplug::edge_chain_command_count(file) == field32(data, size, 4));
      break;
  }

  decode_variant(file, variant, h);
  return 0;
}
