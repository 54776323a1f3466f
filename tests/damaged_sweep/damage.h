// Makes damaged copies of a sample file: truncations, bit flips and header
// fields set to extreme values. Deterministic, so a failure names a case
// that can be rebuilt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sweep {

struct Damaged {
  std::string what;  // e.g. "truncated to 17", "bit 3 of byte 40", "le32 @8 = 0x7fffffff"
  std::vector<uint8_t> bytes;
};

struct FieldPlan {
  std::vector<size_t> le32_offsets;  // 32-bit fields worth setting to extremes
  std::vector<size_t> le16_offsets;  // 16-bit fields likewise
};

std::vector<Damaged> damage(const std::vector<uint8_t>& original, const FieldPlan& fields);

}  // namespace sweep
