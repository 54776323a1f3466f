// EGD1 and EZip pictures through imgplug.spi, called as a viewer calls it:
// GetPictureInfo and GetPicture from memory and from files on disk.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/host_interface.h"
#include "tests/egd1_ezip/egd_files.h"
#include "tools/egd1_encoder/egd1_encoder.h"
#include "tools/ezip_encoder/ezip_encoder.h"
#include "tools/spi_host/plugin_loader.h"

namespace {

using egd_files::Bytes;
using egd_files::edib_block;
using egd_files::egd1_file;
using egd_files::ezip_file_of;
using egd_files::literal_stream;

enum class Source { kMemory, kFile };

// What GetPicture handed back, copied out of the host blocks (then freed).
struct Picture {
  int32_t rc = -1;
  bool info_block = false;
  BITMAPINFOHEADER header{};
  bool pixels_touched = false;  // *pHBm changed
  Bytes pixels;
};

class Egd1EzipPlugin : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    loaded_ = spi_host::load_image_plugin("imgplug.spi", &plugin_);
  }
  static void TearDownTestSuite() {
    if (loaded_) spi_host::unload(&plugin_);
  }
  void SetUp() override { ASSERT_TRUE(loaded_) << "imgplug.spi not loaded"; }

  // Writes `file` to a file of its own in the working folder.
  static std::string write_temp(const Bytes& file) {
    static int counter = 0;
    std::string path = "egd1_ezip_test_" + std::to_string(counter++) + ".egd";
    EXPECT_TRUE(image::write_file(path, file));
    return path;
  }

  static spi::PictureInfo info_of(const Bytes& file, Source source) {
    spi::PictureInfo info;
    std::memset(&info, 0xAB, sizeof info);
    int32_t rc = 0;
    if (source == Source::kMemory) {
      rc = plugin_.GetPictureInfo(reinterpret_cast<LPCSTR>(file.data()),
                                  static_cast<int32_t>(file.size()), 1, &info);
    } else {
      std::string path = write_temp(file);
      rc = plugin_.GetPictureInfo(path.c_str(), 0, 0, &info);
      DeleteFileA(path.c_str());
    }
    EXPECT_EQ(rc, spi::kOk);
    return info;
  }

  static Picture picture_of(const Bytes& file, Source source) {
    HLOCAL info = nullptr;
    HLOCAL const untouched = reinterpret_cast<HLOCAL>(static_cast<uintptr_t>(0x5EED0));
    HLOCAL pixels = untouched;
    Picture p;
    if (source == Source::kMemory) {
      p.rc = plugin_.GetPicture(reinterpret_cast<LPCSTR>(file.data()),
                                static_cast<int32_t>(file.size()), 1, &info, &pixels, nullptr, 0);
    } else {
      std::string path = write_temp(file);
      p.rc = plugin_.GetPicture(path.c_str(), 0, 0, &info, &pixels, nullptr, 0);
      DeleteFileA(path.c_str());
    }
    if (info != nullptr) {
      p.info_block = true;
      std::memcpy(&p.header, LocalLock(info), sizeof p.header);
      LocalUnlock(info);
      LocalFree(info);
    }
    p.pixels_touched = pixels != untouched;
    if (p.pixels_touched && pixels != nullptr) {
      const auto* data = static_cast<const uint8_t*>(LocalLock(pixels));
      p.pixels.assign(data, data + LocalSize(pixels));
      LocalUnlock(pixels);
      LocalFree(pixels);
    }
    return p;
  }

  static spi_host::ImagePlugin plugin_;
  static bool loaded_;
};
spi_host::ImagePlugin Egd1EzipPlugin::plugin_;
bool Egd1EzipPlugin::loaded_ = false;

const Source kSources[] = {Source::kMemory, Source::kFile};

const char* name_of(Source s) { return s == Source::kMemory ? "memory" : "file"; }

Bytes ezip_example() { return ezip_file_of(edib_block(2, 1, {1, 2, 3, 0xFF, 4, 5, 6, 0xFF})); }

// The 16-bit EGD1 dimensions are widened with their sign.
TEST_F(Egd1EzipPlugin, Egd1InfoSignExtends) {
  struct Case {
    uint16_t w, h;
    int32_t width, height;
  } cases[] = {{0xFFFF, 0x8000, -1, -32768}, {0x8000, 0xFFFF, -32768, -1}, {0x7FFF, 3, 32767, 3}};
  for (const Case& c : cases) {
    for (Source s : kSources) {
      SCOPED_TRACE(name_of(s));
      spi::PictureInfo info = info_of(egd1_file(c.w, c.h, 0, 0, {}), s);
      EXPECT_EQ(info.width, c.width);
      EXPECT_EQ(info.height, c.height);
      EXPECT_EQ(info.colorDepth, 24);
    }
  }
}

TEST_F(Egd1EzipPlugin, EzipInfoIsZeroByZero) {
  for (Source s : kSources) {
    SCOPED_TRACE(name_of(s));
    spi::PictureInfo info = info_of(ezip_example(), s);
    EXPECT_EQ(info.width, 0);
    EXPECT_EQ(info.height, 0);
    EXPECT_EQ(info.colorDepth, 24);
  }
}

TEST_F(Egd1EzipPlugin, EzipWorkedExample) {
  for (Source s : kSources) {
    SCOPED_TRACE(name_of(s));
    Picture p = picture_of(ezip_example(), s);
    ASSERT_EQ(p.rc, spi::kOk);
    EXPECT_EQ(p.header.biWidth, 2);
    EXPECT_EQ(p.header.biHeight, 1);
    EXPECT_EQ(p.header.biBitCount, 24);
    ASSERT_GE(p.pixels.size(), 8u);
    EXPECT_EQ(Bytes(p.pixels.begin(), p.pixels.begin() + 8), (Bytes{1, 2, 3, 4, 5, 6, 0, 0}));
  }
}

TEST_F(Egd1EzipPlugin, Egd1WorkedExample) {
  for (Source s : kSources) {
    SCOPED_TRACE(name_of(s));
    Picture p = picture_of(egd1_file(1, 1, 5, 4, {0x0F, 0x00, 0x11, 0x22, 0x33}), s);
    ASSERT_EQ(p.rc, spi::kOk);
    EXPECT_EQ(p.header.biWidth, 1);
    EXPECT_EQ(p.header.biHeight, 1);
    ASSERT_GE(p.pixels.size(), 4u);
    EXPECT_EQ(Bytes(p.pixels.begin(), p.pixels.begin() + 4), (Bytes{0x33, 0x22, 0x11, 0x00}));
  }
}

// Failures of an EZip decode give 8 and leave *pHBm as it was.
TEST_F(Egd1EzipPlugin, EzipFailuresLeavePixelVariableUntouched) {
  struct Case {
    const char* name;
    Bytes file;
  } cases[] = {
      {"EDIB", ezip_file_of(edib_block(2, 1, Bytes(8, 1), "EDIB"))},
      {"no stream", egd_files::ezip_file(0, 24, {})},
      {"picture that cannot exist", ezip_file_of(edib_block(0x10000, 0x10000, {}))},
      {"picture that cannot exist, U of 4 GB", [] {
         Bytes f = ezip_file_of(edib_block(0x7FFFFFFF, 0x7FFFFFFF, {}));
         bytes::store_le32(&f[12], 0xFFFFFFFF);
         return f;
       }()},
  };
  for (const Case& c : cases) {
    for (Source s : kSources) {
      SCOPED_TRACE(testing::Message() << c.name << ", " << name_of(s));
      auto start = std::chrono::steady_clock::now();
      Picture p = picture_of(c.file, s);
      EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
      EXPECT_EQ(p.rc, spi::kInternalError);
      EXPECT_FALSE(p.pixels_touched);
      EXPECT_TRUE(p.info_block);
    }
  }
}

// An EGD1 picture whose pixel block cannot exist in a 32-bit process: 4, at once.
TEST_F(Egd1EzipPlugin, Egd1PictureThatCannotExist) {
  Bytes file = egd1_file(0x7FFF, 0x7FFF, 0xFFFFFFFF, 0xFFFFFFFF, literal_stream(Bytes(64, 7)));
  for (Source s : kSources) {
    SCOPED_TRACE(name_of(s));
    auto start = std::chrono::steady_clock::now();
    Picture p = picture_of(file, s);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(p.rc, spi::kNoMemory);
  }
}

// Headers announcing gigabytes for a small picture decode at once.
TEST_F(Egd1EzipPlugin, GigabyteSizesForSmallPictures) {
  Bytes egd1 = egd1_file(1, 1, 0xFFFFFFFF, 0xFFFFFFFF, literal_stream({0, 0x11, 0x22, 0x33}));
  Bytes ezip = ezip_example();
  bytes::store_le32(&ezip[8], 0xFFFFFFFF);
  bytes::store_le32(&ezip[12], 0xFFFFFFFF);
  for (Source s : kSources) {
    SCOPED_TRACE(name_of(s));
    auto start = std::chrono::steady_clock::now();
    Picture a = picture_of(egd1, s);
    Picture b = picture_of(ezip, s);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    ASSERT_EQ(a.rc, spi::kOk);
    ASSERT_EQ(b.rc, spi::kOk);
    EXPECT_EQ(Bytes(a.pixels.begin(), a.pixels.begin() + 4), (Bytes{0x33, 0x22, 0x11, 0}));
    EXPECT_EQ(Bytes(b.pixels.begin(), b.pixels.begin() + 8), (Bytes{1, 2, 3, 4, 5, 6, 0, 0}));
  }
}

// Empty pictures are valid: W or H of 0 or less.
TEST_F(Egd1EzipPlugin, EmptyPictures) {
  Bytes files[] = {egd1_file(0, 5, 9, 32, literal_stream(Bytes(8, 1))),
                   egd1_file(0xFFFF, 5, 9, 32, literal_stream(Bytes(8, 1))),
                   ezip_file_of(edib_block(0, 5, Bytes(8, 1))),
                   ezip_file_of(edib_block(3, -5, Bytes(8, 1)))};
  for (const Bytes& f : files) {
    Picture p = picture_of(f, Source::kMemory);
    EXPECT_EQ(p.rc, spi::kOk);
    EXPECT_TRUE(p.info_block);
  }
}

// Only the exact 8 bytes "EGD EZip" and 4 bytes "EGD1" choose those decoders;
// anything else is an edge-chain picture with W and H at 8 and 12 (here with
// no commands: a black picture).
TEST_F(Egd1EzipPlugin, DispatchOnExactMagic) {
  for (const char* magic : {"EGD EZiX", "EGD EZIP", "EGD2\0\0\0\0", "EGD1"}) {
    SCOPED_TRACE(magic);
    Bytes file(20, 0);
    std::memcpy(file.data(), magic, 8 > std::strlen(magic) ? std::strlen(magic) : 8);
    bytes::store_le32(&file[8], 3);
    bytes::store_le32(&file[12], 2);
    const bool edge_chain = std::strcmp(magic, "EGD1") != 0;
    spi::PictureInfo info = info_of(file, Source::kMemory);
    Picture p = picture_of(file, Source::kMemory);
    ASSERT_EQ(p.rc, spi::kOk);
    if (edge_chain) {
      EXPECT_EQ(info.width, 3);
      EXPECT_EQ(info.height, 2);
      EXPECT_EQ(p.header.biWidth, 3);
      EXPECT_EQ(p.header.biHeight, 2);
      ASSERT_GE(p.pixels.size(), 24u);
      EXPECT_EQ(Bytes(p.pixels.begin(), p.pixels.begin() + 24), Bytes(24, 0));
    } else {
      // As EGD1 the same bytes mean W = 2 at 12 and H = 0 at 14.
      EXPECT_EQ(p.header.biWidth, 2);
      EXPECT_EQ(p.header.biHeight, 0);
    }
  }
  // The same header with the genuine magic is an EZip file without "EDib".
  Bytes ezip(20, 0);
  std::memcpy(ezip.data(), "EGD EZip", 8);
  bytes::store_le32(&ezip[8], 3);
  bytes::store_le32(&ezip[12], 2);
  EXPECT_EQ(picture_of(ezip, Source::kMemory).rc, spi::kInternalError);
}

// Photographs and drawn pictures (odd widths) written by our encoders decode
// to exactly their pixels.
TEST_F(Egd1EzipPlugin, RoundTrips) {
  std::vector<image::RgbImage> pictures = egd_files::round_trip_pictures(HALVORY_SOURCE_DIR);
  ASSERT_EQ(pictures.size(), 7u) << "samples/photos/*.ppm missing";
  for (size_t i = 0; i < pictures.size(); ++i) {
    const image::RgbImage& img = pictures[i];
    const int32_t stride = (img.width * 3 + 3) / 4 * 4;
    const Bytes expected = egd_files::bottom_up_bgr(img, stride);
    const Bytes files[] = {imgenc::encode_egd1(img), imgenc::encode_ezip(img)};
    for (const Bytes& file : files) {
      for (Source s : kSources) {
        if (s == Source::kFile && i >= 2) continue;  // the photographs from disk too
        SCOPED_TRACE(testing::Message() << img.width << " x " << img.height << ", "
                                        << std::string(file.begin(), file.begin() + 8) << ", "
                                        << name_of(s));
        Picture p = picture_of(file, s);
        ASSERT_EQ(p.rc, spi::kOk);
        EXPECT_EQ(p.header.biWidth, img.width);
        EXPECT_EQ(p.header.biHeight, img.height);
        ASSERT_GE(p.pixels.size(), expected.size());
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), p.pixels.begin()));
      }
    }
  }
}

}  // namespace
