#include "imgplug/egd_header.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using imgplug::EgdVariant;

bytes::Span span_of(const std::vector<uint8_t>& v) { return {v.data(), v.size()}; }

std::vector<uint8_t> file_of(const std::string& start, size_t size) {
  std::vector<uint8_t> f(size, 0);
  std::memcpy(f.data(), start.data(), start.size() < size ? start.size() : size);
  return f;
}

TEST(EgdHeader, VariantsAreToldApartByExactMagics) {
  struct Case {
    std::string start;
    size_t size;
    EgdVariant want;
  };
  const Case cases[] = {
      {"EGD EZip", 20, EgdVariant::kEzip},
      {"EGD1", 48, EgdVariant::kEgd1},
      {"EGD2", 20, EgdVariant::kEdgeChain},
      {"EGD EZiX", 20, EgdVariant::kEdgeChain},  // seven bytes match, the eighth not
      {"EGD Foo!", 20, EgdVariant::kEdgeChain},
      {"EGD EZi", 7, EgdVariant::kEdgeChain},    // too short to hold "EGD EZip"
      {"EGD", 3, EgdVariant::kEdgeChain},
  };
  for (const Case& c : cases) {
    const std::vector<uint8_t> f = file_of(c.start, c.size);
    EXPECT_EQ(imgplug::detect_egd_variant(span_of(f)), c.want) << c.start;
  }
}

TEST(EgdHeader, MagicNeedsAllThreeBytes) {
  EXPECT_TRUE(imgplug::has_egd_magic(span_of(file_of("EGD", 3))));
  EXPECT_TRUE(imgplug::has_egd_magic(span_of(file_of("EGD\xff", 4))));
  EXPECT_FALSE(imgplug::has_egd_magic(span_of(file_of("EGX", 3))));
  EXPECT_FALSE(imgplug::has_egd_magic(span_of(file_of("EGD", 2))));
  EXPECT_FALSE(imgplug::has_egd_magic({}));
}

TEST(EgdHeader, Egd1DimensionsAreSignExtended16BitFields) {
  struct Case {
    uint8_t w0, w1, h0, h1;
    int32_t width, height;
  };
  const Case cases[] = {
      {0xFF, 0xFF, 0x02, 0x00, -1, 2},
      {0x00, 0x80, 0xFF, 0x7F, -32768, 32767},
      {0x34, 0x12, 0x01, 0x00, 0x1234, 1},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> f = file_of("EGD1", 48);
    f[12] = c.w0;
    f[13] = c.w1;
    f[14] = c.h0;
    f[15] = c.h1;
    const imgplug::EgdHeader h = imgplug::read_egd_header(span_of(f));
    EXPECT_EQ(h.width, c.width);
    EXPECT_EQ(h.height, c.height);
    EXPECT_EQ(h.depth, 24);
  }
}

TEST(EgdHeader, EdgeChainDimensionsAreInt32AtEightAndTwelve) {
  std::vector<uint8_t> f = file_of("EGD2", 20);
  bytes::store_le32(&f[4], 7);
  bytes::store_le32(&f[8], 0x00012345);
  bytes::store_le32(&f[12], 0xFFFFFFFE);
  const imgplug::EgdHeader h = imgplug::read_egd_header(span_of(f));
  EXPECT_EQ(h.width, 0x12345);
  EXPECT_EQ(h.height, -2);
  EXPECT_EQ(h.depth, 24);
  EXPECT_EQ(imgplug::edge_chain_command_count(span_of(f)), 7);
}

TEST(EgdHeader, EzipReportsNoDimensions) {
  std::vector<uint8_t> f = file_of("EGD EZip", 20);
  bytes::store_le32(&f[8], 1000);
  bytes::store_le32(&f[12], 1000);
  const imgplug::EgdHeader h = imgplug::read_egd_header(span_of(f));
  EXPECT_EQ(h.width, 0);
  EXPECT_EQ(h.height, 0);
  EXPECT_EQ(h.depth, 24);
}

TEST(EgdHeader, BytesMissingFromAShortFileReadAsZero) {
  // Only two bytes of W and none of H are present.
  std::vector<uint8_t> f = file_of("EGD ", 10);
  f[8] = 0x05;
  f[9] = 0x01;
  imgplug::EgdHeader h = imgplug::read_egd_header(span_of(f));
  EXPECT_EQ(h.width, 0x105);
  EXPECT_EQ(h.height, 0);

  std::vector<uint8_t> g = file_of("EGD1", 13);
  g[12] = 0xFF;  // low byte of W only: 0x00FF
  h = imgplug::read_egd_header(span_of(g));
  EXPECT_EQ(h.width, 0xFF);
  EXPECT_EQ(h.height, 0);

  h = imgplug::read_egd_header(span_of(file_of("EGD", 3)));
  EXPECT_EQ(h.width, 0);
  EXPECT_EQ(h.height, 0);
  EXPECT_EQ(imgplug::edge_chain_command_count(span_of(file_of("EGD", 3))), 0);
}

}  // namespace
