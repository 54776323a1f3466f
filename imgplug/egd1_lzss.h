// EGD1 pictures: an LZSS stream (4096-byte ring) that expands to top-down
// 32-bit pixels (ignored, red, green, blue), converted into the bottom-up
// 24-bit pixel block.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/bytes.h"
#include "imgplug/decode_status.h"

namespace imgplug {

// Expands an LZSS stream into out[0, out_size). Stops when the output is full
// or the input runs out; returns the number of bytes written.
size_t lzss_expand(bytes::Span stream, uint8_t* out, size_t out_size);

// Decodes the EGD1 file image into `pixels`, a zero-filled block of
// `pixels_size` bytes laid out with `stride` for the header's W and H.
DecodeStatus egd1_decode(bytes::Span file, uint8_t* pixels, size_t pixels_size, int32_t stride);

}  // namespace imgplug
