// EGD1 files into the bottom-up 24-bit pixel block: the header fields, the
// row order and byte order, and headers that disagree with the file.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <vector>

#include "imgplug/egd1_lzss.h"
#include "imgplug/pixel_block.h"
#include "tests/egd1_ezip/egd_files.h"

namespace {

using egd_files::Bytes;
using egd_files::egd1_file;
using egd_files::literal_stream;
using imgplug::DecodeStatus;

constexpr uint8_t kGuard = 0xCC;

// Decodes into a zero-filled block of `size` bytes followed by guard bytes,
// and checks that the guard bytes stay untouched.
struct Decoded {
  DecodeStatus status;
  Bytes pixels;
};

Decoded decode(const Bytes& file, size_t size, int32_t stride) {
  Bytes block(size + 16, 0);
  for (size_t i = size; i < block.size(); ++i) block[i] = kGuard;
  DecodeStatus status = imgplug::egd1_decode({file.data(), file.size()}, block.data(), size, stride);
  for (size_t i = size; i < block.size(); ++i) EXPECT_EQ(block[i], kGuard) << "written past the block";
  block.resize(size);
  return {status, block};
}

// Pixels (ignored, red, green, blue) of a W x H picture, top row first: pixel i
// has red 0x10 + i, green 0x40 + i, blue 0x70 + i.
Bytes numbered_pixels(size_t count) {
  Bytes px;
  for (size_t i = 0; i < count; ++i) {
    uint8_t n = static_cast<uint8_t>(i);
    px.insert(px.end(), {0xEE, static_cast<uint8_t>(0x10 + n), static_cast<uint8_t>(0x40 + n),
                         static_cast<uint8_t>(0x70 + n)});
  }
  return px;
}

TEST(Egd1Decode, WorkedExample) {
  Bytes file = egd1_file(1, 1, 5, 4, {0x0F, 0x00, 0x11, 0x22, 0x33});
  ASSERT_EQ(file.size(), 53u);
  Decoded d = decode(file, 4, 4);
  EXPECT_EQ(d.status, DecodeStatus::kOk);
  EXPECT_EQ(d.pixels, (Bytes{0x33, 0x22, 0x11, 0x00}));
}

// Top row first in the file, bottom row first in memory; fill bytes stay 0.
TEST(Egd1Decode, RowsTurnBottomUp) {
  Bytes stream = literal_stream(numbered_pixels(6));
  Bytes file = egd1_file(3, 2, static_cast<uint32_t>(stream.size()), 24, stream);
  Decoded d = decode(file, 24, 12);
  EXPECT_EQ(d.status, DecodeStatus::kOk);
  EXPECT_EQ(d.pixels, (Bytes{0x73, 0x43, 0x13, 0x74, 0x44, 0x14, 0x75, 0x45, 0x15, 0, 0, 0,  //
                             0x70, 0x40, 0x10, 0x71, 0x41, 0x11, 0x72, 0x42, 0x12, 0, 0, 0}));
}

// W or H of 0 or less: nothing converted, success.
TEST(Egd1Decode, EmptyPictureConvertsNothing) {
  Bytes stream = literal_stream(numbered_pixels(4));
  for (auto [w, h] : {std::pair<uint16_t, uint16_t>{0, 2}, {2, 0}, {0xFFFF, 2}, {2, 0x8000}}) {
    SCOPED_TRACE(testing::Message() << w << " x " << h);
    Bytes file = egd1_file(w, h, static_cast<uint32_t>(stream.size()), 16, stream);
    EXPECT_EQ(imgplug::egd1_scratch_size({file.data(), file.size()}), 0u);
    Decoded d = decode(file, 16, 8);
    EXPECT_EQ(d.status, DecodeStatus::kOk);
    EXPECT_EQ(d.pixels, Bytes(16, 0));
  }
}

// A 2 x 2 picture whose header and stream disagree; the missing pixels stay
// zero and the decode succeeds. Pixels in memory order: 2 (bottom left), 3, 0, 1.
TEST(Egd1Decode, HeaderAndStreamDisagree) {
  const Bytes full = literal_stream(numbered_pixels(4));
  const Bytes p0 = {0x70, 0x40, 0x10}, p1 = {0x71, 0x41, 0x11}, p2 = {0x72, 0x42, 0x12},
              p3 = {0x73, 0x43, 0x13}, none = {0, 0, 0};
  auto memory = [](const Bytes& a, const Bytes& b, const Bytes& c, const Bytes& e) {
    Bytes m;
    for (const Bytes* p : {&a, &b}) m.insert(m.end(), p->begin(), p->end());
    m.insert(m.end(), {0, 0});
    for (const Bytes* p : {&c, &e}) m.insert(m.end(), p->begin(), p->end());
    m.insert(m.end(), {0, 0});
    return m;
  };
  Bytes cut_header = egd1_file(2, 2, static_cast<uint32_t>(full.size()), 16, full);
  cut_header.resize(40);  // C present, D missing
  struct Case {
    const char* name;
    Bytes file;
    Bytes expected;
  } cases[] = {
      {"complete", egd1_file(2, 2, static_cast<uint32_t>(full.size()), 16, full),
       memory(p2, p3, p0, p1)},
      {"C past the end of the file", egd1_file(2, 2, 100000, 16, full), memory(p2, p3, p0, p1)},
      {"C of 4 GB", egd1_file(2, 2, 0xFFFFFFFF, 16, full), memory(p2, p3, p0, p1)},
      // 1 flag byte and 8 literals: pixels 0 and 1 only.
      {"C cuts the stream", egd1_file(2, 2, 9, 16, full), memory(none, none, p0, p1)},
      {"stream ends early", egd1_file(2, 2, 9, 16, Bytes(full.begin(), full.begin() + 9)),
       memory(none, none, p0, p1)},
      {"D smaller than W x H x 4", egd1_file(2, 2, static_cast<uint32_t>(full.size()), 12, full),
       memory(p2, none, p0, p1)},
      // Pixel 3 keeps red and green; its blue, cut off by D, reads as zero.
      {"D not a whole number of pixels", egd1_file(2, 2, static_cast<uint32_t>(full.size()), 15, full),
       memory(p2, {0, 0x43, 0x13}, p0, p1)},
      {"D of 0", egd1_file(2, 2, static_cast<uint32_t>(full.size()), 0, full),
       memory(none, none, none, none)},
      {"D of 4 GB", egd1_file(2, 2, static_cast<uint32_t>(full.size()), 0xFFFFFFFF, full),
       memory(p2, p3, p0, p1)},
      {"no stream at all", egd1_file(2, 2, 0, 16, {}), memory(none, none, none, none)},
      {"file cut inside the header", cut_header, Bytes(16, 0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Decoded d = decode(c.file, 16, 8);
    EXPECT_EQ(d.status, DecodeStatus::kOk);
    EXPECT_EQ(d.pixels, c.expected);
  }
}

// The scratch follows the picture: min(D, W x H x 4), whatever D announces.
TEST(Egd1Decode, ScratchFollowsThePicture) {
  struct Case {
    uint16_t w, h;
    uint32_t d;
    size_t expected;
  } cases[] = {
      {1, 1, 0xFFFFFFFF, 4},
      {3, 2, 1u << 31, 24},
      {3, 2, 7, 7},
      {0x7FFF, 0x7FFF, 0xFFFFFFFF, size_t{0x7FFF} * 0x7FFF * 4},
      {0x7FFF, 0x7FFF, 100, 100},
  };
  for (const Case& c : cases) {
    Bytes file = egd1_file(c.w, c.h, 0, c.d, {});
    EXPECT_EQ(imgplug::egd1_scratch_size({file.data(), file.size()}), c.expected)
        << c.w << " x " << c.h << ", D = " << c.d;
  }
}

// A header announcing 4 GB of pixel data for a 1 x 1 picture decodes at once.
TEST(Egd1Decode, GigabyteDForSmallPictureStaysFast) {
  Bytes file = egd1_file(1, 1, 0xFFFFFFFF, 0xFFFFFFFF, literal_stream({0, 1, 2, 3}));
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 100; ++i) {
    Decoded d = decode(file, 4, 4);
    ASSERT_EQ(d.status, DecodeStatus::kOk);
    ASSERT_EQ(d.pixels, (Bytes{3, 2, 1, 0}));
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

// A block smaller than stride x H (a caller's mistake) is still never
// overrun; the rows that fit are the bottom ones.
TEST(Egd1Decode, NeverWritesPastTheBlock) {
  Bytes stream = literal_stream(numbered_pixels(6));
  Bytes file = egd1_file(3, 2, static_cast<uint32_t>(stream.size()), 24, stream);
  for (size_t size : {0u, 1u, 5u, 12u, 13u, 23u}) {
    SCOPED_TRACE(size);
    Decoded d = decode(file, size, 12);
    EXPECT_EQ(d.status, DecodeStatus::kOk);
  }
  Decoded d = decode(file, 12, 12);
  EXPECT_EQ(d.pixels, (Bytes{0x73, 0x43, 0x13, 0x74, 0x44, 0x14, 0x75, 0x45, 0x15, 0, 0, 0}));
}

}  // namespace
