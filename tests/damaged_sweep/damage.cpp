#include "tests/damaged_sweep/damage.h"

#include <cstdio>
#include <utility>

#include "common/bytes.h"

namespace sweep {
namespace {

std::string describe(const char* format, unsigned long long a, unsigned long long b = 0) {
  char text[80];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

// A small fixed-seed generator: the same cases on every run.
struct Lcg {
  uint64_t state = 0x2545F4914F6CDD1Dull;
  uint32_t next() {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>(state >> 33);
  }
};

}  // namespace

std::vector<Damaged> damage(const std::vector<uint8_t>& original, const FieldPlan& fields) {
  std::vector<Damaged> out;
  const size_t size = original.size();

  // Truncations: every length through the headers, then spread over the rest.
  for (size_t n = 0; n < size && n <= 64; ++n) {
    out.push_back({describe("truncated to %llu", n),
                   std::vector<uint8_t>(original.begin(), original.begin() + n)});
  }
  for (int i = 1; i < 40 && size > 64; ++i) {
    const size_t n = 64 + (size - 64) * i / 40;
    out.push_back({describe("truncated to %llu", n),
                   std::vector<uint8_t>(original.begin(), original.begin() + n)});
  }

  // Single bit flips, most of them in the first bytes where headers live,
  // and a few cases with many flips at once.
  Lcg rng;
  for (int i = 0; i < 160 && size > 0; ++i) {
    const size_t span = (i % 2 == 0 && size > 64) ? 64 : size;
    const size_t pos = rng.next() % span;
    const uint32_t bit = rng.next() % 8;
    Damaged d{describe("bit %llu of byte %llu", bit, pos), original};
    d.bytes[pos] ^= static_cast<uint8_t>(1u << bit);
    out.push_back(std::move(d));
  }
  for (int i = 0; i < 30 && size > 0; ++i) {
    Damaged d{describe("16 random flips, case %llu", static_cast<unsigned long long>(i)), original};
    for (int k = 0; k < 16; ++k) d.bytes[rng.next() % size] ^= static_cast<uint8_t>(1u << (rng.next() % 8));
    out.push_back(std::move(d));
  }

  // Header fields set to 0, -1, the signed extremes and sizes past the file.
  const uint32_t values32[] = {0u, 0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u,
                               static_cast<uint32_t>(size + 1), static_cast<uint32_t>(size * 16)};
  for (size_t offset : fields.le32_offsets) {
    if (offset + 4 > size) continue;
    for (uint32_t v : values32) {
      Damaged d{describe("le32 @%llu = 0x%llx", offset, v), original};
      bytes::store_le32(d.bytes.data() + offset, v);
      out.push_back(std::move(d));
    }
  }
  const uint16_t values16[] = {0, 0x7FFF, 0x8000, 0xFFFF};
  for (size_t offset : fields.le16_offsets) {
    if (offset + 2 > size) continue;
    for (uint16_t v : values16) {
      Damaged d{describe("le16 @%llu = 0x%llx", offset, v), original};
      bytes::store_le16(d.bytes.data() + offset, v);
      out.push_back(std::move(d));
    }
  }
  return out;
}

}  // namespace sweep
