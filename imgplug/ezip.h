// EZip pictures: a zlib stream that inflates to an "EDib" block holding the
// dimensions and 32-bit pixels (blue, green, red, ignored) in bitmap row
// order. The size is known only after inflating, so the export layer asks
// for the inflated picture first and then allocates the pixel block.
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
DecodeStatus ezip_inflate(bytes::Span file, EdibPicture* out);

// Copies the pixels, rows in their stored order, into a zero-filled pixel
// block of `pixels_size` bytes with the given stride.
void ezip_copy_rows(const EdibPicture& pic, uint8_t* pixels, size_t pixels_size, int32_t stride);

void ezip_release(EdibPicture* pic);

}  // namespace imgplug
