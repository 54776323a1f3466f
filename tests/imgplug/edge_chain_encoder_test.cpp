#include "tools/edge_chain_encoder/edge_chain_encoder.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/imgplug/decode_helpers.h"

namespace {

using imgplug_test::decode;
using imgplug_test::decodes_to;

std::string bits_of(const edge_chain::BitWriter& w) {
  std::string s;
  for (size_t i = 0; i < w.bit_count(); ++i) {
    s += ((w.bytes()[i / 8] >> (7 - i % 8)) & 1) != 0 ? '1' : '0';
  }
  return s;
}

TEST(EdgeChainEncoder, RunLengthCodes) {
  struct Case {
    uint32_t length;
    const char* bits;
  };
  const Case cases[] = {{1, "0"},       {2, "100"},      {3, "101"},
                        {4, "11000"},   {7, "11011"},    {8, "1110000"},
                        {0x7FFFFFFF, "111111111111111111111111111111"
                                     "0"
                                     "111111111111111111111111111111"}};
  for (const Case& c : cases) {
    edge_chain::BitWriter w;
    edge_chain::put_run_length(&w, c.length);
    EXPECT_EQ(bits_of(w), c.bits) << c.length;
  }
}

TEST(EdgeChainEncoder, FileHeaderHoldsCountAndSize) {
  const std::vector<uint8_t> f = edge_chain::make_edge_chain_file(3, 5, 7, {0xAB});
  ASSERT_EQ(f.size(), 21u);
  const bytes::Span s{f.data(), f.size()};
  EXPECT_TRUE(imgplug::has_egd_magic(s));
  EXPECT_EQ(imgplug::detect_egd_variant(s), imgplug::EgdVariant::kEdgeChain);
  EXPECT_EQ(imgplug::edge_chain_command_count(s), 3);
  EXPECT_EQ(imgplug::read_egd_header(s).width, 5);
  EXPECT_EQ(imgplug::read_egd_header(s).height, 7);
  EXPECT_EQ(f[20], 0xAB);
}

TEST(EdgeChainEncoder, DrawnPicturesRoundTrip) {
  const int32_t sizes[][2] = {{0, 0}, {1, 1}, {1, 7}, {7, 1}, {5, 3}, {33, 17}, {64, 64},
                              {101, 37}};
  for (const auto& s : sizes) {
    const image::RgbImage img = image::make_pattern(s[0], s[1]);
    EXPECT_TRUE(decodes_to(decode(edge_chain::encode_edge_chain(img)), img))
        << s[0] << "x" << s[1];
  }
}

TEST(EdgeChainEncoder, PhotosRoundTrip) {
  for (const char* name : {"coffee.ppm", "astronaut.ppm"}) {
    image::RgbImage img;
    ASSERT_TRUE(image::read_ppm_file(std::string(HALVORY_SOURCE_DIR) + "/samples/photos/" + name,
                                     &img))
        << name;
    edge_chain::EncodeStats stats;
    const std::vector<uint8_t> file = edge_chain::encode_edge_chain(img, &stats);
    EXPECT_TRUE(decodes_to(decode(file), img)) << name;
    EXPECT_GT(stats.cache_hits, 0u) << name;
  }
}

TEST(EdgeChainEncoder, UsesRunsCacheAndChains) {
  const image::RgbImage img = image::make_pattern(64, 64);
  edge_chain::EncodeStats stats;
  const std::vector<uint8_t> file = edge_chain::encode_edge_chain(img, &stats);
  EXPECT_TRUE(decodes_to(decode(file), img));
  EXPECT_LT(stats.commands, 64u * 64u * 3 / 4);  // the gradient part changes every pixel
  EXPECT_GT(stats.cache_hits, 0u);
  EXPECT_GT(stats.chains, 0u);
  EXPECT_GT(stats.chain_pixels, stats.chains);
  EXPECT_EQ(stats.commands, stats.literals + stats.cache_hits);
}

TEST(EdgeChainEncoder, ChainsCarryVerticalEdgesDown) {
  // Two flat halves: each edge is one chain, and the runs that follow pick
  // up the chains' colours, so the whole picture takes two commands.
  image::RgbImage img = image::make_image(16, 16);
  for (int32_t y = 0; y < 16; ++y) {
    for (int32_t x = 0; x < 16; ++x) img.set(x, y, x < 8 ? 0x3060A0u : 0xF0E0D0u);
  }
  edge_chain::EncodeStats stats;
  const std::vector<uint8_t> file = edge_chain::encode_edge_chain(img, &stats);
  EXPECT_TRUE(decodes_to(decode(file), img));
  EXPECT_EQ(stats.commands, 2u);
  EXPECT_EQ(stats.chains, 2u);
  EXPECT_EQ(stats.chain_pixels, 30u);
}

TEST(EdgeChainEncoder, DiagonalEdgesAndNearBlackColours) {
  // Chains drift sideways along diagonals; colours differing only in bit 1
  // of green decode alike, so the encoder must treat them as one.
  image::RgbImage img = image::make_image(40, 30);
  for (int32_t y = 0; y < 30; ++y) {
    for (int32_t x = 0; x < 40; ++x) {
      const uint32_t c = x < y + 3 ? 0x000000u : (x < 2 * y + 5 ? 0x000200u : 0x102030u);
      img.set(x, y, c);
    }
  }
  edge_chain::EncodeStats stats;
  EXPECT_TRUE(decodes_to(decode(edge_chain::encode_edge_chain(img, &stats)), img));
  EXPECT_GT(stats.chains, 0u);
}

}  // namespace
