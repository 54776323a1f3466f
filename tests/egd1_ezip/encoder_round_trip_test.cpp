// The encoders against our decoders: LZSS streams expand to exactly their
// input, and photographs and drawn pictures written as EGD1 and EZip decode
// to exactly their pixels.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <random>
#include <vector>

#include "imgplug/egd1_lzss.h"
#include "imgplug/ezip.h"
#include "imgplug/pixel_block.h"
#include "tests/egd1_ezip/egd_files.h"
#include "tools/egd1_encoder/egd1_encoder.h"
#include "tools/ezip_encoder/ezip_encoder.h"

namespace {

using egd_files::Bytes;

Bytes expand(const Bytes& stream, size_t size) {
  Bytes out(size + 1, 0xCC);
  size_t written = imgplug::lzss_expand({stream.data(), stream.size()}, out.data(), size);
  EXPECT_EQ(written, size);
  EXPECT_EQ(out[size], 0xCC);
  out.resize(size);
  return out;
}

struct Sample {
  const char* name;
  Bytes data;
};

std::vector<Sample> lzss_samples() {
  std::mt19937 rng(7);
  auto random_bytes = [&](size_t n, unsigned alphabet) {
    Bytes b(n);
    for (auto& x : b) x = static_cast<uint8_t>(rng() % alphabet);
    return b;
  };
  Bytes text;
  const char* line = "the ring holds the last 4096 bytes written; ";
  while (text.size() < 30000) text.insert(text.end(), line, line + std::strlen(line));
  Bytes far_repeat = random_bytes(4096, 256);  // repeats at distance exactly 4096
  far_repeat.insert(far_repeat.end(), far_repeat.begin(), far_repeat.begin() + 500);
  Bytes zero_then_data(5000, 0);
  zero_then_data.push_back(9);
  return {
      {"empty", {}},
      {"one byte", {0x41}},
      {"two bytes", {0, 0}},
      {"three zeros", {0, 0, 0}},
      {"zeros across the ring", Bytes(10000, 0)},
      {"zeros then a byte", zero_then_data},
      {"random", random_bytes(20000, 256)},
      {"few symbols", random_bytes(20000, 3)},
      {"text", text},
      {"repeat at distance 4096", far_repeat},
      {"ring size", random_bytes(4096, 4)},
      {"ring size + 1", random_bytes(4097, 4)},
  };
}

TEST(LzssCompress, ExpandsToItsInput) {
  for (const Sample& s : lzss_samples()) {
    SCOPED_TRACE(s.name);
    Bytes stream = imgenc::lzss_compress(s.data.data(), s.data.size());
    EXPECT_EQ(expand(stream, s.data.size()), s.data);
  }
}

// The matches are real: repetitive input shrinks far below literal coding.
TEST(LzssCompress, FindsMatches) {
  // The ring's initial zeros are matched at once: 18 zeros are one match.
  Bytes zeros(18, 0);
  EXPECT_EQ(imgenc::lzss_compress(zeros.data(), zeros.size()).size(), 3u);
  // 10000 zeros: one flag byte per 8 matches of 18.
  Bytes many(10000, 0);
  EXPECT_LE(imgenc::lzss_compress(many.data(), many.size()).size(), 10000 / 18 * 2 + 10000 / 144 + 4);
  for (const Sample& s : lzss_samples()) {
    if (std::string(s.name) != "text") continue;
    EXPECT_LT(imgenc::lzss_compress(s.data.data(), s.data.size()).size(), s.data.size() / 5);
  }
}

class PictureRoundTrip : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    pictures_ = new std::vector<image::RgbImage>(egd_files::round_trip_pictures(HALVORY_SOURCE_DIR));
  }
  static void TearDownTestSuite() { delete pictures_; }
  static std::vector<image::RgbImage>* pictures_;
};
std::vector<image::RgbImage>* PictureRoundTrip::pictures_ = nullptr;

TEST_F(PictureRoundTrip, PhotographsAreThere) {
  ASSERT_EQ(pictures_->size(), 7u) << "samples/photos/*.ppm missing";
  EXPECT_EQ((*pictures_)[0].width, 301);
  EXPECT_EQ((*pictures_)[1].width, 173);
}

TEST_F(PictureRoundTrip, Egd1) {
  for (const image::RgbImage& img : *pictures_) {
    SCOPED_TRACE(testing::Message() << img.width << " x " << img.height);
    Bytes file = imgenc::encode_egd1(img);
    ASSERT_GE(file.size(), 48u);
    imgplug::PixelBlockGeometry g;
    ASSERT_TRUE(imgplug::pixel_block_geometry(img.width, img.height, &g));
    Bytes pixels(g.size, 0);
    ASSERT_EQ(imgplug::egd1_decode({file.data(), file.size()}, pixels.data(), pixels.size(), g.stride),
              imgplug::DecodeStatus::kOk);
    EXPECT_EQ(pixels, egd_files::bottom_up_bgr(img, g.stride));
    // Never above literal coding (a flag byte per 8 bytes).
    size_t data = img.rgb.size() / 3 * 4;
    EXPECT_LE(file.size(), 48 + data + (data + 7) / 8);
  }
}

TEST_F(PictureRoundTrip, Ezip) {
  for (const image::RgbImage& img : *pictures_) {
    SCOPED_TRACE(testing::Message() << img.width << " x " << img.height);
    Bytes file = imgenc::encode_ezip(img);
    imgplug::EdibPicture pic;
    ASSERT_EQ(imgplug::ezip_inflate({file.data(), file.size()}, &pic), imgplug::DecodeStatus::kOk);
    EXPECT_EQ(pic.width, img.width);
    EXPECT_EQ(pic.height, img.height);
    imgplug::PixelBlockGeometry g;
    ASSERT_TRUE(imgplug::pixel_block_geometry(pic.width, pic.height, &g));
    Bytes pixels(g.size, 0);
    imgplug::ezip_copy_rows(pic, pixels.data(), pixels.size(), g.stride);
    imgplug::ezip_release(&pic);
    EXPECT_EQ(pixels, egd_files::bottom_up_bgr(img, g.stride));
  }
}

TEST(EncoderLimits, Egd1RefusesWhatItsHeaderCannotHold) {
  EXPECT_TRUE(imgenc::encode_egd1(image::make_image(32768, 1)).empty());
  EXPECT_EQ(imgenc::encode_egd1(image::make_image(0, 0)).size(), 48u);
}

}  // namespace
