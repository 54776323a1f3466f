// EZip pictures: a zlib stream that inflates to an "EDib" block holding the
// dimensions and 32-bit pixels (blue, green, red, ignored) in bitmap row
// order. The size is known only after inflating, so the export layer asks
// for the inflated picture first and then allocates the pixel block.
//
// File layout: "EGD EZip", L (uint32) at 8, U (uint32, the inflated size) at
// 12, and a zlib stream of L - 16 bytes from offset 20. The "EDib" block:
// "EDib", W and H as int32 at 4 and 8, 4 unused bytes, W x H pixels of 4 bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/bytes.h"
#include "imgplug/decode_status.h"

namespace imgplug {

struct EdibPicture {
  int32_t width = 0;
  int32_t height = 0;
  uint8_t* block = nullptr;  // the inflated "EDib" block (malloc), missing bytes zero
  size_t block_size = 0;
};

// Inflates the EZip file image. kOk with `out` filled (release with
// ezip_release); otherwise nothing is held.
//
// The stream is cut at the end of the file (L < 16 means no stream). The
// block holds min(U, 16 + W x H x 4) bytes, so a U of gigabytes for a small
// picture allocates only what the picture needs; whatever the stream does not
// deliver (damaged, short, or U too small) stays zero and is not an error.
// W or H of 0 or less is a valid, empty picture.
// kBadData: the inflated data does not begin with "EDib" (exact case).
// kTooLarge: the picture's pixel block could not exist in a 32-bit process.
// kNoMemory: the block could not be allocated.
DecodeStatus ezip_inflate(bytes::Span file, EdibPicture* out);

// Copies the pixels, rows in their stored order, into a zero-filled pixel
// block of `pixels_size` bytes with the given stride: the first 3 bytes of
// each 4-byte pixel. Reads nothing past block_size (pixels missing there stay
// zero) and writes nothing past pixels_size.
void ezip_copy_rows(const EdibPicture& pic, uint8_t* pixels, size_t pixels_size, int32_t stride);

void ezip_release(EdibPicture* pic);

}  // namespace imgplug
