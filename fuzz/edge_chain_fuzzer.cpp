// Edge-chain pictures: the file image (W, H and N from its header, capped to
// a small picture) is decoded into a pixel block of exactly stride x H bytes.
// The last input byte chooses the progress callback and whether the block is
// one byte short of what the header asks for.
//
// Invariants: nothing is written outside the block (ASan); the row fill bytes
// stay zero; every pixel is either unpainted (0) or carries the painted mark,
// bit 1 of green; a block too small for the picture is left untouched; the
// callback sees (0, N), (1, N), ... in order and (N, N) last, and a nonzero
// answer cancels at once.

#include <cstdint>

#include "common/bytes.h"
#include "common/host_interface.h"
#include "fuzz/fuzz_check.h"
#include "imgplug/edge_chain.h"
#include "imgplug/egd_header.h"
#include "imgplug/pixel_block.h"

namespace {

struct ProgressLog {
  int32_t count = 0;      // N of the file
  int64_t calls = 0;      // calls so far
  int64_t cancel_at = -1; // call number that answers nonzero, or -1
  bool finished = false;  // (N, N) was seen
};
ProgressLog g_progress;

int32_t SPI_STDCALL on_progress(int32_t num, int32_t denom, int32_t lData) {
  FUZZ_CHECK(lData == 0x5A5A);
  FUZZ_CHECK(denom == g_progress.count);
  FUZZ_CHECK(!g_progress.finished);
  if (num == g_progress.count) {
    // The final call, after at most N command calls (fewer when the stream
    // runs out first).
    FUZZ_CHECK(g_progress.calls <= (g_progress.count > 0 ? g_progress.count : 0));
    g_progress.finished = true;
  } else {
    FUZZ_CHECK(num == g_progress.calls);
  }
  const int64_t call = g_progress.calls++;
  return call == g_progress.cancel_at ? 1 : 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const uint32_t options = take_trailing_options(&data, &size, 1);
  const bytes::Span file{data, size};
  const imgplug::EgdHeader header = imgplug::read_egd_header(file);
  imgplug::PixelBlockGeometry geometry;
  if (!imgplug::pixel_block_geometry(header.width, header.height, &geometry)) return 0;
  const int64_t pixels =
      header.width > 0 && header.height > 0 ? int64_t{header.width} * header.height : 0;
  if (pixels > kMaxFuzzPixels) return 0;

  const bool short_block = (options & 4) != 0 && geometry.size > 0;
  ExactBlock block(short_block ? geometry.size - 1 : geometry.size);

  spi::ProgressCallback progress = nullptr;
  g_progress = ProgressLog{};
  g_progress.count = imgplug::edge_chain_command_count(file);
  switch (options & 3) {
    case 0: break;
    case 1: progress = on_progress; break;
    case 2: progress = on_progress; g_progress.cancel_at = options >> 3; break;
    case 3: progress = on_progress; g_progress.cancel_at = 0; break;
  }

  const imgplug::DecodeStatus status = imgplug::edge_chain_decode(
      file, block.data(), block.size(), geometry.stride, header.height, progress, 0x5A5A);

  if (progress != nullptr) {
    const bool cancelled = g_progress.cancel_at >= 0 && g_progress.calls > g_progress.cancel_at;
    FUZZ_CHECK(status == (cancelled ? imgplug::DecodeStatus::kCancelled
                                    : imgplug::DecodeStatus::kOk));
    if (cancelled) FUZZ_CHECK(g_progress.calls == g_progress.cancel_at + 1);
    if (!cancelled) FUZZ_CHECK(g_progress.finished);
  } else {
    FUZZ_CHECK(status == imgplug::DecodeStatus::kOk);
  }

  if (short_block) {
    for (size_t i = 0; i < block.size(); ++i) FUZZ_CHECK(block.data()[i] == 0);
    return 0;
  }
  for (int32_t r = 0; r < header.height && geometry.size > 0; ++r) {
    const uint8_t* row = block.data() + static_cast<size_t>(r) * geometry.stride;
    for (int32_t x = 0; x < header.width; ++x) {
      const uint8_t* p = row + 3 * x;
      FUZZ_CHECK((p[0] == 0 && p[1] == 0 && p[2] == 0) || (p[1] & 2) != 0);
    }
    for (int32_t i = header.width * 3; i < geometry.stride; ++i) FUZZ_CHECK(row[i] == 0);
  }
  return 0;
}
