// Writes bits most significant first into bytes, the order the edge-chain
// decoder reads them. Tests use it to build streams by hand.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace edge_chain {

class BitWriter {
 public:
  // The low `n` bits of `value`, highest first; 0 <= n <= 32.
  void put(uint32_t value, int n) {
    for (int i = n - 1; i >= 0; --i) put_bit(((value >> i) & 1u) != 0);
  }
  void put_bit(bool bit) {
    if (bits_ % 8 == 0) bytes_.push_back(0);
    if (bit) bytes_.back() = static_cast<uint8_t>(bytes_.back() | (0x80u >> (bits_ % 8)));
    ++bits_;
  }
  size_t bit_count() const { return bits_; }
  // The bytes so far; the last one is padded with zero bits.
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  size_t bits_ = 0;
};

}  // namespace edge_chain
