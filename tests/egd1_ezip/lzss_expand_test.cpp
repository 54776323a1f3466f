// The LZSS expansion of EGD1 streams: literals, ring matches (also before any
// literal, overlapping, wrapping) and where the expansion stops.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "imgplug/egd1_lzss.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct ExpandCase {
  const char* name;
  Bytes stream;
  size_t out_size;
  Bytes expected;  // the bytes written; the rest of the output stays untouched
};

Bytes repeat(uint8_t b, size_t n) { return Bytes(n, b); }

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

const Bytes kEighteen = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17};

std::vector<ExpandCase> cases() {
  return {
      {"flag byte and eight literals", {0xFF, 1, 2, 3, 4, 5, 6, 7, 8}, 8, {1, 2, 3, 4, 5, 6, 7, 8}},
      // The literal lands at 0xFEE; the match from 0xFEE reads each byte just
      // after writing the one before it.
      {"overlapping match", {0x01, 0x41, 0xEE, 0xF1}, 5, repeat(0x41, 5)},
      {"match before any literal copies zeros", {0x00, 0x34, 0x12}, 5, repeat(0, 5)},
      {"first match of 18 zeros", {0x00, 0x00, 0x0F}, 100, repeat(0, 18)},
      {"longest match is 18", {0x01, 0x41, 0xEE, 0xFF}, 100, repeat(0x41, 19)},
      {"match is cut when the output is full", {0x01, 0x41, 0xEE, 0xFF}, 7, repeat(0x41, 7)},
      // 18 literals fill 0xFEE..0xFFF, then a match from 0xFFE wraps to 0,
      // where it has just written.
      {"match wraps around the ring",
       concat({{0xFF}, Bytes(kEighteen.begin(), kEighteen.begin() + 8), {0xFF},
               Bytes(kEighteen.begin() + 8, kEighteen.begin() + 16), {0x03, 16, 17, 0xFE, 0xF1}}),
       100, concat({kEighteen, {16, 17, 16, 17}})},
      {"input ending early", {0xFF, 1, 2, 3}, 8, {1, 2, 3}},
      {"match with one byte left stops", {0x01, 0x41, 0xEE}, 8, {0x41}},
      {"flag byte as the last byte stops", {0xFF, 1, 2, 3, 4, 5, 6, 7, 8, 0xFF}, 20,
       {1, 2, 3, 4, 5, 6, 7, 8}},
      {"empty stream", {}, 8, {}},
      {"input longer than needed", {0xFF, 1, 2, 3, 4, 5, 6, 7, 8, 0x00, 0x00, 0x0F}, 2, {1, 2}},
      {"nothing wanted", {0xFF, 1, 2}, 0, {}},
  };
}

TEST(LzssExpand, Cases) {
  for (const ExpandCase& c : cases()) {
    SCOPED_TRACE(c.name);
    Bytes out(c.out_size + 8, 0xCC);  // 0xCC marks bytes that must stay untouched
    size_t written = imgplug::lzss_expand({c.stream.data(), c.stream.size()}, out.data(),
                                          c.out_size);
    ASSERT_EQ(written, c.expected.size());
    EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<ptrdiff_t>(written)), c.expected);
    for (size_t i = written; i < out.size(); ++i) ASSERT_EQ(out[i], 0xCC) << "byte " << i;
  }
}

// Every 12-bit position of a match before any literal reads the cleared ring.
TEST(LzssExpand, EveryRingPositionStartsZero) {
  for (unsigned p = 0; p < 4096; p += 97) {
    Bytes stream = {0x00, static_cast<uint8_t>(p & 0xFF), static_cast<uint8_t>(((p >> 4) & 0xF0) | 0x0F)};
    Bytes out(18, 0xCC);
    ASSERT_EQ(imgplug::lzss_expand({stream.data(), stream.size()}, out.data(), out.size()), 18u);
    ASSERT_EQ(out, repeat(0, 18)) << "position " << p;
  }
}

}  // namespace
