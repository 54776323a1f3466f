// EZip files: inflating the "EDib" block and copying its rows, with headers
// and streams that disagree with the picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>

#include "imgplug/ezip.h"
#include "tests/egd1_ezip/egd_files.h"

namespace {

using egd_files::Bytes;
using egd_files::edib_block;
using egd_files::ezip_file;
using egd_files::ezip_file_of;
using egd_files::zlib_pack;
using imgplug::DecodeStatus;
using imgplug::EdibPicture;

constexpr uint8_t kGuard = 0xCC;

// Inflates `file`; on success copies the rows into a zero-filled block of
// `size` bytes (followed by guard bytes that must stay untouched).
struct Decoded {
  DecodeStatus status = DecodeStatus::kOk;
  int32_t width = 0;
  int32_t height = 0;
  size_t block_size = 0;
  Bytes pixels;
};

Decoded decode(const Bytes& file, size_t size, int32_t stride) {
  EdibPicture pic;
  Decoded d;
  d.status = imgplug::ezip_inflate({file.data(), file.size()}, &pic);
  if (d.status != DecodeStatus::kOk) {
    EXPECT_EQ(pic.block, nullptr);
    return d;
  }
  d.width = pic.width;
  d.height = pic.height;
  d.block_size = pic.block_size;
  Bytes block(size + 16, kGuard);
  std::fill(block.begin(), block.begin() + static_cast<ptrdiff_t>(size), 0);
  imgplug::ezip_copy_rows(pic, block.data(), size, stride);
  for (size_t i = size; i < block.size(); ++i) EXPECT_EQ(block[i], kGuard) << "written past the block";
  block.resize(size);
  d.pixels = block;
  imgplug::ezip_release(&pic);
  EXPECT_EQ(pic.block, nullptr);
  EXPECT_EQ(pic.block_size, 0u);
  return d;
}

// Four pixels numbered 1..4: blue 0x10 + n, green 0x40 + n, red 0x70 + n, 0xFF.
Bytes four_pixels() {
  Bytes px;
  for (uint8_t n = 1; n <= 4; ++n) {
    px.insert(px.end(), {static_cast<uint8_t>(0x10 + n), static_cast<uint8_t>(0x40 + n),
                         static_cast<uint8_t>(0x70 + n), 0xFF});
  }
  return px;
}

TEST(EzipDecode, WorkedExample) {
  Bytes block = edib_block(2, 1, {0x01, 0x02, 0x03, 0xFF, 0x04, 0x05, 0x06, 0xFF});
  for (uint32_t u : {24u, 100u}) {
    SCOPED_TRACE(u);
    Bytes stream = zlib_pack(block);
    Decoded d = decode(ezip_file(static_cast<uint32_t>(stream.size() + 16), u, stream), 8, 8);
    ASSERT_EQ(d.status, DecodeStatus::kOk);
    EXPECT_EQ(d.width, 2);
    EXPECT_EQ(d.height, 1);
    EXPECT_EQ(d.block_size, 24u);
    EXPECT_EQ(d.pixels, (Bytes{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x00, 0x00}));
  }
}

// Rows keep their stored order: the first stored row is memory row 0.
TEST(EzipDecode, RowsKeepTheirOrder) {
  Decoded d = decode(ezip_file_of(edib_block(2, 2, four_pixels())), 16, 8);
  ASSERT_EQ(d.status, DecodeStatus::kOk);
  EXPECT_EQ(d.pixels, (Bytes{0x11, 0x41, 0x71, 0x12, 0x42, 0x72, 0, 0,  //
                             0x13, 0x43, 0x73, 0x14, 0x44, 0x74, 0, 0}));
}

TEST(EzipDecode, NoEdibMagicIsBadData) {
  struct Case {
    const char* name;
    Bytes file;
  } cases[] = {
      {"wrong case", ezip_file_of(edib_block(2, 1, Bytes(8, 1), "EDIB"))},
      {"other magic", ezip_file_of(edib_block(2, 1, Bytes(8, 1), "BMP "))},
      {"damaged zlib header", [] {
         Bytes f = ezip_file_of(edib_block(2, 1, Bytes(8, 1)));
         f[20] ^= 0xFF;
         return f;
       }()},
      {"not a zlib stream", ezip_file(40, 24, Bytes(24, 0x5A))},
      {"L below 16: no stream", [] {
         Bytes f = ezip_file_of(edib_block(2, 1, Bytes(8, 1)));
         bytes::store_le32(&f[8], 15);
         return f;
       }()},
      {"L of 16: empty stream", [] {
         Bytes f = ezip_file_of(edib_block(2, 1, Bytes(8, 1)));
         bytes::store_le32(&f[8], 16);
         return f;
       }()},
      {"U below 4", [] {
         Bytes f = ezip_file_of(edib_block(2, 1, Bytes(8, 1)));
         bytes::store_le32(&f[12], 3);
         return f;
       }()},
      {"file ends inside the header", Bytes{'E', 'G', 'D', ' ', 'E', 'Z', 'i', 'p', 30, 0}},
      {"stream cut before the magic", [] {
         Bytes f = ezip_file_of(edib_block(2, 1, Bytes(8, 1)));
         f.resize(22);
         return f;
       }()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(decode(c.file, 8, 8).status, DecodeStatus::kBadData);
  }
}

// Whatever the stream does not deliver stays zero and is not an error.
// Pixels in memory: 1, 2 (row 0) and 3, 4 (row 1).
TEST(EzipDecode, MissingBytesStayZero) {
  const Bytes full = edib_block(2, 2, four_pixels());
  const Bytes stream = zlib_pack(full);
  const uint32_t l = static_cast<uint32_t>(stream.size() + 16);
  const Bytes p1 = {0x11, 0x41, 0x71}, p2 = {0x12, 0x42, 0x72}, p3 = {0x13, 0x43, 0x73},
              p4 = {0x14, 0x44, 0x74}, none = {0, 0, 0};
  auto memory = [](const Bytes& a, const Bytes& b, const Bytes& c, const Bytes& e) {
    Bytes m;
    for (const Bytes* p : {&a, &b}) m.insert(m.end(), p->begin(), p->end());
    m.insert(m.end(), {0, 0});
    for (const Bytes* p : {&c, &e}) m.insert(m.end(), p->begin(), p->end());
    m.insert(m.end(), {0, 0});
    return m;
  };
  // A complete zlib stream of a block that stops after pixel 2.
  const Bytes short_block(full.begin(), full.begin() + 24);
  const Bytes short_stream = zlib_pack(short_block);
  // Stored (uncompressed) deflate, so that cutting the stream cuts the pixels
  // at a known byte: zlib header, one stored block, then the block bytes.
  Bytes stored = {0x78, 0x01, 0x01, static_cast<uint8_t>(full.size()), 0,
                  static_cast<uint8_t>(~full.size()), 0xFF};
  stored.insert(stored.end(), full.begin(), full.end());
  Bytes damaged = stored;
  damaged[2] = 0x07;  // block type 3 does not exist: nothing inflates
  // A first stored block with pixels 1 and 2, then a block whose length check fails.
  Bytes damaged_later = {0x78, 0x01, 0x00, 24, 0, static_cast<uint8_t>(~24), 0xFF};
  damaged_later.insert(damaged_later.end(), full.begin(), full.begin() + 24);
  damaged_later.insert(damaged_later.end(), {0x01, 8, 0, 8, 0});
  damaged_later.insert(damaged_later.end(), full.begin() + 24, full.end());
  Bytes corrupt_end = stream;
  corrupt_end.back() ^= 0xFF;  // Adler-32 check fails only after everything is inflated

  struct Case {
    const char* name;
    Bytes file;
    Bytes expected;
  } cases[] = {
      {"complete", ezip_file(l, 32, stream), memory(p1, p2, p3, p4)},
      {"inflates to fewer than U bytes",
       ezip_file(static_cast<uint32_t>(short_stream.size() + 16), 32, short_stream),
       memory(p1, p2, none, none)},
      {"L past the end of the file", ezip_file(0xFFFFFFFF, 32, stream), memory(p1, p2, p3, p4)},
      // Inflated bytes are kept even inside a pixel: blue and green of pixel 3.
      {"stream cut inside pixel 3",
       [&] {
         Bytes s(stored.begin(), stored.begin() + 7 + 26);
         return ezip_file(static_cast<uint32_t>(stored.size() + 16), 32, s);
       }(),
       memory(p1, p2, {0x13, 0x43, 0}, none)},
      {"L cuts the stream", ezip_file(static_cast<uint32_t>(16 + 7 + 24), 32, stored),
       memory(p1, p2, none, none)},
      {"damaged after pixel 2",
       ezip_file(static_cast<uint32_t>(damaged_later.size() + 16), 32, damaged_later),
       memory(p1, p2, none, none)},
      {"failed check at the end", ezip_file(l, 32, corrupt_end), memory(p1, p2, p3, p4)},
      {"U smaller than the picture", ezip_file(l, 24, stream), memory(p1, p2, none, none)},
      {"U ends inside pixel 3", ezip_file(l, 26, stream), memory(p1, p2, {0x13, 0x43, 0}, none)},
      {"U ends after the first byte of pixel 3", ezip_file(l, 25, stream),
       memory(p1, p2, {0x13, 0, 0}, none)},
      {"U holds blue, green, red of pixel 3", ezip_file(l, 27, stream), memory(p1, p2, p3, none)},
      {"U holds only the block header", ezip_file(l, 16, stream), memory(none, none, none, none)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Decoded d = decode(c.file, 16, 8);
    ASSERT_EQ(d.status, DecodeStatus::kOk);
    EXPECT_EQ(d.width, 2);
    EXPECT_EQ(d.height, 2);
    EXPECT_EQ(d.pixels, c.expected);
  }
  // Damaged from its first block on: not even "EDib" arrives.
  EXPECT_EQ(decode(ezip_file(static_cast<uint32_t>(damaged.size() + 16), 32, damaged), 16, 8).status,
            DecodeStatus::kBadData);
}

// A stream damaged in the middle keeps the bytes inflated before the damage.
TEST(EzipDecode, DamagedStreamKeepsWhatInflated) {
  image::RgbImage img = image::make_pattern(40, 30);
  Bytes pixels;
  for (int32_t y = img.height - 1; y >= 0; --y) {
    for (int32_t x = 0; x < img.width; ++x) {
      uint32_t c = img.at(x, y);
      pixels.insert(pixels.end(), {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8),
                                   static_cast<uint8_t>(c >> 16), 0});
    }
  }
  Bytes file = ezip_file_of(edib_block(40, 30, pixels));
  Decoded whole = decode(file, 120 * 30, 120);
  ASSERT_EQ(whole.status, DecodeStatus::kOk);

  Bytes damaged = file;
  for (size_t i = damaged.size() / 2; i < damaged.size(); ++i) damaged[i] = 0xFF;
  Decoded d = decode(damaged, 120 * 30, 120);
  ASSERT_EQ(d.status, DecodeStatus::kOk);
  EXPECT_EQ(d.width, 40);
  EXPECT_EQ(d.height, 30);
  // The rows inflated before the damage arrive intact.
  EXPECT_TRUE(std::equal(d.pixels.begin(), d.pixels.begin() + 120, whole.pixels.begin()));
  EXPECT_NE(d.pixels, whole.pixels);
}

// W or H of 0 or less is a valid, empty picture; a picture whose pixel block
// cannot exist in a 32-bit process is refused before anything is allocated.
TEST(EzipDecode, Dimensions) {
  struct Case {
    int32_t w, h;
    DecodeStatus expected;
  } cases[] = {
      {0, 2, DecodeStatus::kOk},
      {2, 0, DecodeStatus::kOk},
      {-2, 2, DecodeStatus::kOk},
      {2, -1, DecodeStatus::kOk},
      {INT32_MIN, INT32_MIN, DecodeStatus::kOk},
      {0x10000, 0x10000, DecodeStatus::kTooLarge},
      {INT32_MAX, 1, DecodeStatus::kTooLarge},
      {1, INT32_MAX, DecodeStatus::kTooLarge},
      {INT32_MAX, INT32_MAX, DecodeStatus::kTooLarge},
      {30000, 30000, DecodeStatus::kTooLarge},  // 2.7 GB of rows
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << " x " << c.h);
    Bytes file = ezip_file_of(edib_block(c.w, c.h, four_pixels()));
    bytes::store_le32(&file[12], 0xFFFFFFFF);
    Decoded d = decode(file, 16, 8);
    ASSERT_EQ(d.status, c.expected);
    if (c.expected == DecodeStatus::kOk) {
      EXPECT_EQ(d.width, c.w);
      EXPECT_EQ(d.height, c.h);
      EXPECT_EQ(d.block_size, 16u);
      EXPECT_EQ(d.pixels, Bytes(16, 0));
    }
  }
}

// U of 4 GB for a 2 x 2 picture: the block holds what the picture uses.
TEST(EzipDecode, GigabyteUForSmallPictureStaysFast) {
  Bytes file = ezip_file_of(edib_block(2, 2, four_pixels()));
  bytes::store_le32(&file[12], 0xFFFFFFFF);
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 100; ++i) {
    Decoded d = decode(file, 16, 8);
    ASSERT_EQ(d.status, DecodeStatus::kOk);
    ASSERT_EQ(d.block_size, 32u);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

// U below 16: the header bytes beyond U read as 0, so H (at 8) can vanish.
TEST(EzipDecode, UInsideTheBlockHeader) {
  Bytes file = ezip_file_of(edib_block(2, 2, four_pixels()));
  bytes::store_le32(&file[12], 8);
  Decoded d = decode(file, 16, 8);
  ASSERT_EQ(d.status, DecodeStatus::kOk);
  EXPECT_EQ(d.width, 2);
  EXPECT_EQ(d.height, 0);
  EXPECT_EQ(d.block_size, 8u);
  EXPECT_EQ(d.pixels, Bytes(16, 0));
}

// A block smaller than stride x H (a caller's mistake) is never overrun.
TEST(EzipDecode, NeverWritesPastTheBlock) {
  Bytes file = ezip_file_of(edib_block(2, 2, four_pixels()));
  for (size_t size : {0u, 2u, 5u, 8u, 9u, 13u, 15u}) {
    SCOPED_TRACE(size);
    EXPECT_EQ(decode(file, size, 8).status, DecodeStatus::kOk);
  }
  EXPECT_EQ(decode(file, 8, 8).pixels, (Bytes{0x11, 0x41, 0x71, 0x12, 0x42, 0x72, 0, 0}));
}

}  // namespace
