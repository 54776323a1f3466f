#include "common/bytes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

TEST(Bytes, LittleEndianLoadsAndStores) {
  uint8_t b[4] = {};
  bytes::store_le32(b, 0x80FF0102u);
  EXPECT_EQ(b[0], 0x02);
  EXPECT_EQ(b[3], 0x80);
  EXPECT_EQ(bytes::load_le32(b), 0x80FF0102u);
  EXPECT_EQ(bytes::load_le16(b + 2), 0x80FFu);
}

TEST(Bytes, ShortBuffersReadMissingBytesAsZero) {
  const uint8_t b[6] = {1, 2, 3, 4, 5, 6};
  const bytes::Span s{b, sizeof b};
  EXPECT_EQ(bytes::load_le32_or_zero(s, 0), 0x04030201u);
  EXPECT_EQ(bytes::load_le32_or_zero(s, 4), 0x0605u);
  EXPECT_EQ(bytes::load_le32_or_zero(s, 6), 0u);
  EXPECT_EQ(bytes::load_le32_or_zero(s, std::numeric_limits<size_t>::max()), 0u);
  EXPECT_EQ(bytes::load_le16_or_zero(s, 5), 0x06u);
}

TEST(Bytes, CheckedArithmeticRefusesOverflow) {
  uint32_t r = 0;
  EXPECT_TRUE(bytes::checked_mul<uint32_t>(65535, 65537, &r));
  EXPECT_EQ(r, 0xFFFFFFFFu);
  EXPECT_FALSE(bytes::checked_mul<uint32_t>(65536, 65536, &r));
  EXPECT_FALSE(bytes::checked_add<uint32_t>(0xFFFFFFFFu, 1, &r));
  int32_t s = 0;
  EXPECT_FALSE(bytes::checked_mul<int32_t>(-65536, 32769, &s));
}

TEST(Bytes, RangesAndSubspans) {
  EXPECT_TRUE(bytes::range_fits(0, 10, 10));
  EXPECT_TRUE(bytes::range_fits(10, 0, 10));
  EXPECT_FALSE(bytes::range_fits(11, 0, 10));
  EXPECT_FALSE(bytes::range_fits(5, 6, 10));
  EXPECT_FALSE(bytes::range_fits(1, UINT64_MAX, 10));

  const uint8_t b[8] = {};
  bool ok = false;
  bytes::Span sub = bytes::subspan({b, 8}, 2, 6, &ok);
  EXPECT_TRUE(ok);
  EXPECT_EQ(sub.data, b + 2);
  EXPECT_EQ(sub.size, 6u);
  sub = bytes::subspan({b, 8}, 3, 6, &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(sub.size, 0u);
}

}  // namespace
