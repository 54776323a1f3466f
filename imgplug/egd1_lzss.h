// EGD1 pictures: an LZSS stream (4096-byte ring) that expands to top-down
// 32-bit pixels (ignored, red, green, blue), converted into the bottom-up
// 24-bit pixel block.
//
// File layout: "EGD1", W and H as signed 16-bit values at 12 and 14, the
// stream's length C (uint32) at 36, the expanded length D (uint32) at 40 and
// the stream from offset 48.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/bytes.h"
#include "imgplug/decode_status.h"

namespace imgplug {

// Expands an LZSS stream into out[0, out_size). Stops when the output is full
// or the input runs out (a match whose two bytes are not both present, or a
// flag byte that is the last byte of the input, ends it); returns the number
// of bytes written. The ring starts all zero with the write position at
// 0xFEE, so a match may copy zeros before any literal, and a match may read
// ring bytes it has itself just written.
size_t lzss_expand(bytes::Span stream, uint8_t* out, size_t out_size);

// Bytes of expanded data the decoder keeps for this file: D, but never more
// than the W x H x 4 the picture can use (0 when W or H is 0 or less), so a
// header announcing a huge D for a small picture costs nothing.
size_t egd1_scratch_size(bytes::Span file);

// Decodes the EGD1 file image into `pixels`, a zero-filled block of
// `pixels_size` bytes laid out with `stride` for the header's W and H.
// A stream shorter than C, C past the end of the file, or D smaller than the
// picture leave the missing pixels zero and still succeed; W or H of 0 or
// less converts nothing. Nothing is written outside pixels[0, pixels_size).
// kNoMemory when the scratch buffer cannot be allocated.
DecodeStatus egd1_decode(bytes::Span file, uint8_t* pixels, size_t pixels_size, int32_t stride);

}  // namespace imgplug
