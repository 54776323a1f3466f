// The EGD edge-chain variant: N commands in raster order, each a run of one
// colour (a 24-bit literal or one of the last 128 literals) whose first pixel
// may start a vertical chain painting the same colour on the rows below.
// A run that reaches a pixel painted by a chain carries on in that colour.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/bytes.h"
#include "common/host_interface.h"
#include "imgplug/decode_status.h"

namespace imgplug {

// Bits most significant first. Bits past the end of the data read as 0 and
// set overrun(), so a caller can tell a complete code from a cut one.
class BitReader {
 public:
  BitReader(bytes::Span data, size_t byte_pos) : data_(data), pos_(byte_pos) {}

  // An n-bit value, 0 <= n <= 32; read(0) is 0 and consumes nothing.
  uint32_t read(int n);

  bool overrun() const { return overrun_; }
  size_t byte_pos() const { return pos_; }
  uint8_t mask() const { return mask_; }

 private:
  bytes::Span data_;
  size_t pos_;
  uint8_t mask_ = 0x80;
  bool overrun_ = false;
};

// Decodes the edge-chain file image into `pixels` (`pixels_size` bytes,
// bottom-up rows of `stride` bytes, blue-green-red) for a picture of `height`
// rows; N and W come from the file. Painting happens only where the block
// really holds pixel (x, y), so a block smaller than the header says is
// never overrun.
//
// The work is bounded by the file and the picture, never by N: decoding ends
// when the bit stream runs out or a run-length code does not fit 31 bits
// (both still kOk, with what was painted so far), and a run that passes the
// bottom row stops there. `progress` (may be null) is called with
// (j, N, lData) before command j and with (N, N, lData) at the end; a nonzero
// answer gives kCancelled.
DecodeStatus edge_chain_decode(bytes::Span file, uint8_t* pixels, size_t pixels_size,
                               int32_t stride, int32_t height, spi::ProgressCallback progress,
                               int32_t lData);

}  // namespace imgplug
