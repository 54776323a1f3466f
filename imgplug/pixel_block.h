// Geometry of the 24-bit bottom-up pixel block handed to the host.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/bytes.h"
#include "common/host_interface.h"

namespace imgplug {

// No block of this size or more can be allocated in a 32-bit process.
inline constexpr uint64_t kMaxPixelBlockBytes = spi::kMaxHostBlockBytes;

struct PixelBlockGeometry {
  int32_t stride = 0;  // bytes per row, a multiple of 4
  size_t size = 0;     // stride * height; 0 when width or height is 0 or less
};

// Rows are padded to 4 bytes: stride = ((W * 3 + 3) / 4) * 4 (signed division).
// False when the block could not exist in a 32-bit process.
[[nodiscard]] inline bool pixel_block_geometry(int32_t width, int32_t height,
                                               PixelBlockGeometry* out) {
  *out = {};
  if (width <= 0 || height <= 0) return true;
  int64_t row = (static_cast<int64_t>(width) * 3 + 3) / 4 * 4;
  uint64_t size = 0;
  if (row > INT32_MAX ||
      !bytes::checked_mul<uint64_t>(static_cast<uint64_t>(row), static_cast<uint64_t>(height),
                                    &size) ||
      size >= kMaxPixelBlockBytes) {
    return false;
  }
  out->stride = static_cast<int32_t>(row);
  out->size = static_cast<size_t>(size);
  return true;
}

}  // namespace imgplug
