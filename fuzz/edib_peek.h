// The picture size an EZip file's stream announces, for the harnesses to
// skip pictures over their pixel cap before the decoder allocates for them.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstring>

#include "common/bytes.h"
#include "fuzz/fuzz_check.h"

namespace edib_peek {

inline constexpr size_t kHeaderSize = 20;

// Inflates just the "EDib" header as the decoder does: the stream cut at the
// end of the file, at most U bytes, bytes that do not arrive read as 0.
// False when not even "EDib" arrives.
inline bool peek_edib_size(bytes::Span file, int32_t* width, int32_t* height) {
  if (file.size <= kHeaderSize) return false;
  const uint32_t length = bytes::load_le32_or_zero(file, 8);
  const uint32_t declared = bytes::load_le32_or_zero(file, 12);
  if (length < 16) return false;
  const size_t available = file.size - kHeaderSize;
  const size_t stream_size = length - 16u < available ? length - 16u : available;

  uint8_t head[16] = {};
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return false;
  z.next_in = const_cast<Bytef*>(file.data + kHeaderSize);
  z.avail_in = static_cast<uInt>(stream_size < UINT32_MAX ? stream_size : UINT32_MAX);
  z.next_out = head;
  z.avail_out = declared < sizeof head ? declared : sizeof head;
  const uInt wanted = z.avail_out;
  inflate(&z, Z_SYNC_FLUSH);
  const uInt produced = wanted - z.avail_out;
  inflateEnd(&z);
  if (produced < 4 || std::memcmp(head, "EDib", 4) != 0) return false;
  *width = static_cast<int32_t>(bytes::load_le32(head + 4));
  *height = static_cast<int32_t>(bytes::load_le32(head + 8));
  return true;
}

}  // namespace edib_peek

// True when the stream inflates to an "EDib" header whose W x H is over the cap.
inline bool edib_over_cap(bytes::Span file) {
  int32_t width = 0, height = 0;
  return edib_peek::peek_edib_size(file, &width, &height) && width > 0 && height > 0 &&
         int64_t{width} * height > kMaxFuzzPixels;
}
