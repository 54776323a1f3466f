// imgplug.spi driven through its exports exactly as a viewer drives it:
// loaded by name, called through GetProcAddress, blocks locked, handed to
// GDI and freed with LocalFree.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "tools/edge_chain_encoder/edge_chain_encoder.h"
#include "tools/image/rgb_image.h"
#include "tools/spi_host/plugin_loader.h"

namespace {

constexpr uint32_t kFileInput = 0;
constexpr uint32_t kMemoryInput = 1;
// Stands for "not written by the plug-in" in the host's handle variables.
const HLOCAL kUntouched = reinterpret_cast<HLOCAL>(static_cast<ULONG_PTR>(0xBAD0));

const spi_host::ImagePlugin& plugin() {
  static spi_host::ImagePlugin p;
  static const bool loaded = spi_host::load_image_plugin("imgplug.spi", &p);
  EXPECT_TRUE(loaded) << "imgplug.spi not loadable";
  return p;
}

std::string temp_path(const char* name) {
  char dir[MAX_PATH];
  const DWORD n = GetTempPathA(MAX_PATH, dir);
  return std::string(dir, n) + name;
}

// A file in the temp folder that is deleted again at the end of the scope.
struct TempFile {
  std::string path;
  TempFile(const char* name, const std::vector<uint8_t>& data) : path(temp_path(name)) {
    EXPECT_TRUE(image::write_file(path, data)) << path;
  }
  ~TempFile() { DeleteFileA(path.c_str()); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
};

struct Picture {
  int32_t result = -100;
  HLOCAL info = kUntouched;
  HLOCAL bits = kUntouched;

  // The host frees both blocks with LocalFree, though the plug-in left them locked.
  ~Picture() {
    for (HLOCAL block : {info, bits}) {
      if (block != kUntouched && block != nullptr) {
        EXPECT_EQ(LocalFree(block), nullptr);
      }
    }
  }
  Picture() = default;
  Picture(const Picture&) = delete;
  Picture& operator=(const Picture&) = delete;
};

void get_picture_from_file(const std::string& path, Picture* out,
                           spi::ProgressCallback progress = nullptr, int32_t data = 0) {
  out->result = plugin().GetPicture(path.c_str(), 0, kFileInput, &out->info, &out->bits, progress,
                                    data);
}

void get_picture_from_memory(const std::vector<uint8_t>& file, Picture* out,
                             spi::ProgressCallback progress = nullptr, int32_t data = 0) {
  out->result = plugin().GetPicture(reinterpret_cast<LPCSTR>(file.data()),
                                    static_cast<int32_t>(file.size()), kMemoryInput, &out->info,
                                    &out->bits, progress, data);
}

int32_t stride_of(int32_t width) { return (width * 3 + 3) / 4 * 4; }

// The pixel block a picture must decode to: bottom-up BGR rows, padded to
// 4 bytes with zeros, bit 1 of green set on every pixel.
std::vector<uint8_t> expected_block(const image::RgbImage& img) {
  const int32_t stride = stride_of(img.width);
  std::vector<uint8_t> block(static_cast<size_t>(stride) * img.height, 0);
  for (int32_t y = 0; y < img.height; ++y) {
    uint8_t* row = &block[static_cast<size_t>(img.height - 1 - y) * stride];
    for (int32_t x = 0; x < img.width; ++x) {
      const uint32_t c = img.at(x, y) | 0x200;
      row[3 * x] = static_cast<uint8_t>(c);
      row[3 * x + 1] = static_cast<uint8_t>(c >> 8);
      row[3 * x + 2] = static_cast<uint8_t>(c >> 16);
    }
  }
  return block;
}

// A movable block: locking gives a pointer, not the handle itself.
bool is_movable(HLOCAL block) {
  void* p = LocalLock(block);
  const bool movable = p != nullptr && p != static_cast<void*>(block);
  LocalUnlock(block);
  return movable;
}

void expect_info_block(HLOCAL info, int32_t width, int32_t height) {
  ASSERT_NE(info, nullptr);
  ASSERT_NE(info, kUntouched);
  EXPECT_EQ(LocalSize(info), 1068u);
  EXPECT_TRUE(is_movable(info));
  const auto* p = static_cast<const uint8_t*>(LocalLock(info));
  ASSERT_NE(p, nullptr);
  BITMAPINFOHEADER bih;
  std::memcpy(&bih, p, sizeof bih);
  EXPECT_EQ(bih.biSize, 40u);
  EXPECT_EQ(bih.biWidth, width);
  EXPECT_EQ(bih.biHeight, height);
  EXPECT_EQ(bih.biPlanes, 1);
  EXPECT_EQ(bih.biBitCount, 24);
  EXPECT_EQ(bih.biCompression, static_cast<DWORD>(BI_RGB));
  EXPECT_EQ(bih.biSizeImage, 0u);
  EXPECT_EQ(bih.biXPelsPerMeter, 0);
  EXPECT_EQ(bih.biYPelsPerMeter, 0);
  EXPECT_EQ(bih.biClrUsed, 0u);
  EXPECT_EQ(bih.biClrImportant, 0u);
  for (size_t i = 40; i < 1068; ++i) {
    if (p[i] != 0) {
      ADD_FAILURE() << "palette byte " << i << " not zero";
      break;
    }
  }
  LocalUnlock(info);
}

void expect_pixel_block(HLOCAL bits, const std::vector<uint8_t>& want) {
  ASSERT_NE(bits, nullptr);
  ASSERT_NE(bits, kUntouched);
  ASSERT_EQ(LocalSize(bits), want.size());
  if (want.empty()) return;
  EXPECT_TRUE(is_movable(bits));
  const auto* p = static_cast<const uint8_t*>(LocalLock(bits));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(std::memcmp(p, want.data(), want.size()), 0);
  LocalUnlock(bits);
}

// A viewer builds a DIB section from the two blocks.
void expect_gdi_accepts(HLOCAL info, HLOCAL bits, int32_t height) {
  auto* bmi = static_cast<BITMAPINFO*>(LocalLock(info));
  auto* pixels = static_cast<const uint8_t*>(LocalLock(bits));
  ASSERT_NE(bmi, nullptr);
  ASSERT_NE(pixels, nullptr);
  HDC dc = CreateCompatibleDC(nullptr);
  void* section_bits = nullptr;
  HBITMAP bmp = CreateDIBSection(dc, bmi, DIB_RGB_COLORS, &section_bits, nullptr, 0);
  ASSERT_NE(bmp, nullptr);
  EXPECT_EQ(SetDIBits(dc, bmp, 0, static_cast<UINT>(height), pixels, bmi, DIB_RGB_COLORS),
            height);
  GdiFlush();
  EXPECT_EQ(std::memcmp(section_bits, pixels, LocalSize(bits)), 0);
  DeleteObject(bmp);
  DeleteDC(dc);
  LocalUnlock(bits);
  LocalUnlock(info);
}

void expect_round_trip(const image::RgbImage& img, const Picture& pic) {
  ASSERT_EQ(pic.result, 0);
  expect_info_block(pic.info, img.width, img.height);
  expect_pixel_block(pic.bits, expected_block(img));
}

std::vector<uint8_t> header_file(const char* magic, size_t magic_len, size_t size) {
  std::vector<uint8_t> f(size, 0);
  std::memcpy(f.data(), magic, magic_len);
  return f;
}

// Progress calls seen by the host's callback, which cancels at call `cancel_at`.
struct ProgressLog {
  std::vector<int32_t> num, denom, data;
  int cancel_at = -1;
};
ProgressLog g_log;

int32_t WINAPI host_progress(int32_t num, int32_t denom, int32_t data) {
  g_log.num.push_back(num);
  g_log.denom.push_back(denom);
  g_log.data.push_back(data);
  return static_cast<int>(g_log.num.size()) - 1 == g_log.cancel_at ? 1 : 0;
}

// --- Info strings, IsSupported, GetPreview ---

TEST(ImgplugInfo, FourInfoStrings) {
  const char* const want[4] = {"00IN", "Halvory *.EGD Plug-in (halvory-plugins project)", "*.egd",
                               "Halvory *.EGD"};
  for (int32_t i = 0; i < 4; ++i) {
    char buf[256];
    EXPECT_EQ(plugin().GetPluginInfo(i, buf, sizeof buf), static_cast<int32_t>(strlen(want[i])));
    EXPECT_STREQ(buf, want[i]);
  }
}

TEST(ImgplugInfo, TruncationAndUnknownIndexes) {
  char buf[8];
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(plugin().GetPluginInfo(2, buf, 3), 2);
  EXPECT_STREQ(buf, "*.");
  EXPECT_EQ(buf[3], 'x');
  for (int32_t index : {-1, 4, 100}) {
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(plugin().GetPluginInfo(index, buf, sizeof buf), 0);
    EXPECT_EQ(buf[0], 'x');
  }
}

TEST(ImgplugInfo, IsSupportedByPointer) {
  struct Case {
    const char* start;
    int32_t want;
  };
  const Case cases[] = {{"EGD EZip", 1}, {"EGD1", 1}, {"EGD2", 1}, {"EGDx", 1},
                        {"EGD", 1},      {"EG", 0},   {"EGX1", 0}, {"egd1", 0}};
  for (const Case& c : cases) {
    std::vector<char> head(2000, 0);  // a host passes the file's first 2 KB
    std::memcpy(head.data(), c.start, strlen(c.start));
    EXPECT_EQ(plugin().IsSupported("x.egd", reinterpret_cast<spi::HandleOrPointer>(head.data())),
              c.want)
        << c.start;
  }
}

TEST(ImgplugInfo, IsSupportedByOpenHandle) {
  struct Case {
    std::vector<uint8_t> data;
    int32_t want;
  };
  const Case cases[] = {{edge_chain::encode_edge_chain(image::make_pattern(5, 3)), 1},
                        {{'E', 'G', 'D'}, 1},
                        {{}, 0},  // empty file
                        {{'E', 'G'}, 0},
                        {{'P', '6', '\n'}, 0}};
  for (const Case& c : cases) {
    TempFile file("imgplug_is_supported.egd", c.data);
    HANDLE h = CreateFileA(file.path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    const auto dw = reinterpret_cast<spi::HandleOrPointer>(h);
    ASSERT_TRUE(spi::is_file_handle(dw)) << "handle value too large for the convention";
    EXPECT_EQ(plugin().IsSupported(file.path.c_str(), dw), c.want) << c.data.size();
    CloseHandle(h);
  }
}

TEST(ImgplugInfo, GetPreviewIsNotImplemented) {
  HLOCAL a = kUntouched, b = kUntouched;
  EXPECT_EQ(plugin().GetPreview("whatever.egd", 0, 0, &a, &b, host_progress, 1), -1);
  EXPECT_EQ(plugin().GetPreview(nullptr, -1, 1, nullptr, nullptr, nullptr, 0), -1);
  EXPECT_EQ(a, kUntouched);
  EXPECT_EQ(b, kUntouched);
}

// --- GetPictureInfo ---

struct InfoCase {
  const char* what;
  std::vector<uint8_t> file;
  int32_t width, height;
};

std::vector<InfoCase> info_cases() {
  std::vector<InfoCase> cases;
  cases.push_back({"edge chain", edge_chain::encode_edge_chain(image::make_pattern(7, 5)), 7, 5});
  std::vector<uint8_t> egd2 = header_file("EGD2", 4, 20);
  bytes::store_le32(&egd2[8], 0x12345);
  bytes::store_le32(&egd2[12], 0xFFFFFFFF);
  cases.push_back({"EGD2 is edge chain", egd2, 0x12345, -1});
  std::vector<uint8_t> egd1 = header_file("EGD1", 4, 48);
  egd1[12] = 0xFF, egd1[13] = 0xFF, egd1[14] = 3;
  cases.push_back({"EGD1 W FF FF", egd1, -1, 3});
  egd1[12] = 0x00, egd1[13] = 0x80;
  cases.push_back({"EGD1 W 00 80", egd1, -32768, 3});
  std::vector<uint8_t> ezip = header_file("EGD EZip", 8, 40);
  bytes::store_le32(&ezip[8], 50);
  bytes::store_le32(&ezip[12], 1000);
  cases.push_back({"EZip", ezip, 0, 0});
  std::vector<uint8_t> near_ezip = header_file("EGD EZiq", 8, 20);  // "EZiq" is N here
  near_ezip[8] = 4, near_ezip[12] = 9;
  cases.push_back({"EGD EZiq is edge chain", near_ezip, 4, 9});
  std::vector<uint8_t> short_file = header_file("EGD ", 4, 10);
  short_file[8] = 0x05, short_file[9] = 0x01;
  cases.push_back({"short: missing bytes read as 0", short_file, 0x105, 0});
  cases.push_back({"only the magic", header_file("EGD", 3, 3), 0, 0});
  return cases;
}

void expect_picture_info(const spi::PictureInfo& info, int32_t width, int32_t height) {
  EXPECT_EQ(info.left, 0);
  EXPECT_EQ(info.top, 0);
  EXPECT_EQ(info.width, width);
  EXPECT_EQ(info.height, height);
  EXPECT_EQ(info.x_density, 1);
  EXPECT_EQ(info.y_density, 1);
  EXPECT_EQ(info.colorDepth, 24);
  EXPECT_EQ(info.hInfo, 0u);
}

TEST(ImgplugPictureInfo, FileAndMemoryMode) {
  for (const InfoCase& c : info_cases()) {
    SCOPED_TRACE(c.what);
    spi::PictureInfo info;
    std::memset(&info, 0xCC, sizeof info);
    ASSERT_EQ(plugin().GetPictureInfo(reinterpret_cast<LPCSTR>(c.file.data()),
                                      static_cast<int32_t>(c.file.size()), kMemoryInput, &info),
              0);
    expect_picture_info(info, c.width, c.height);

    TempFile file("imgplug_info.egd", c.file);
    std::memset(&info, 0xCC, sizeof info);
    ASSERT_EQ(plugin().GetPictureInfo(file.path.c_str(), 0, kFileInput, &info), 0);
    expect_picture_info(info, c.width, c.height);
  }
}

TEST(ImgplugPictureInfo, NotEgdGivesUnsupported) {
  for (const std::vector<uint8_t>& data :
       {std::vector<uint8_t>{'P', '6', '\n', '1', ' ', '1'}, std::vector<uint8_t>{'E', 'G'},
        std::vector<uint8_t>{}}) {
    spi::PictureInfo info;
    std::memset(&info, 0xCC, sizeof info);
    spi::PictureInfo before = info;
    EXPECT_EQ(plugin().GetPictureInfo(reinterpret_cast<LPCSTR>(data.data()),
                                      static_cast<int32_t>(data.size()), kMemoryInput, &info),
              2);
    TempFile file("imgplug_not_egd.bmp", data);
    EXPECT_EQ(plugin().GetPictureInfo(file.path.c_str(), 0, kFileInput, &info), 2);
    EXPECT_EQ(std::memcmp(&info, &before, sizeof info), 0);
  }
  // A null image or a negative size is no image at all.
  spi::PictureInfo info;
  EXPECT_EQ(plugin().GetPictureInfo(nullptr, 100, kMemoryInput, &info), 2);
  const char egd[] = "EGD\0\0\0\0\0\1\0\0\0\1\0\0\0";
  EXPECT_EQ(plugin().GetPictureInfo(egd, -16, kMemoryInput, &info), 2);
}

// --- GetPicture ---

TEST(ImgplugPicture, DrawnPicturesInFileAndMemoryMode) {
  const int32_t sizes[][2] = {{1, 1}, {3, 2}, {5, 5}, {7, 3}, {33, 17}, {64, 40}};
  for (const auto& s : sizes) {
    SCOPED_TRACE(std::to_string(s[0]) + "x" + std::to_string(s[1]));
    const image::RgbImage img = image::make_pattern(s[0], s[1]);
    const std::vector<uint8_t> data = edge_chain::encode_edge_chain(img);
    {
      TempFile file("imgplug_pattern.egd", data);
      Picture pic;
      get_picture_from_file(file.path, &pic);
      expect_round_trip(img, pic);
      expect_gdi_accepts(pic.info, pic.bits, img.height);
    }
    Picture pic;
    get_picture_from_memory(data, &pic);
    expect_round_trip(img, pic);
  }
}

TEST(ImgplugPicture, PhotographsRoundTrip) {
  for (const char* name : {"coffee.ppm", "astronaut.ppm"}) {
    SCOPED_TRACE(name);
    image::RgbImage img;
    ASSERT_TRUE(image::read_ppm_file(std::string(HALVORY_SOURCE_DIR) + "/samples/photos/" + name,
                                     &img));
    ASSERT_NE(img.width % 4, 0);  // rows need padding
    TempFile file("imgplug_photo.egd", edge_chain::encode_edge_chain(img));
    Picture pic;
    get_picture_from_file(file.path, &pic);
    expect_round_trip(img, pic);
    expect_gdi_accepts(pic.info, pic.bits, img.height);
  }
}

TEST(ImgplugPicture, EmptyPictureGivesAnEmptyPixelBlock) {
  for (const auto& wh : {std::pair{0, 5}, std::pair{5, 0}, std::pair{-3, 4}}) {
    Picture pic;
    get_picture_from_memory(edge_chain::make_edge_chain_file(0, wh.first, wh.second, {}), &pic);
    EXPECT_EQ(pic.result, 0);
    expect_info_block(pic.info, wh.first, wh.second);
    EXPECT_NE(pic.bits, kUntouched);
    if (pic.bits != nullptr && pic.bits != kUntouched) {
      EXPECT_EQ(LocalSize(pic.bits), 0u);
    }
  }
}

TEST(ImgplugPicture, MissingFileGivesFileError) {
  const std::string path = temp_path("imgplug_no_such_file.egd");
  DeleteFileA(path.c_str());
  spi::PictureInfo info;
  EXPECT_EQ(plugin().GetPictureInfo(path.c_str(), 0, kFileInput, &info), 6);
  Picture pic;
  get_picture_from_file(path, &pic);
  EXPECT_EQ(pic.result, 6);
  EXPECT_EQ(pic.info, kUntouched);
  EXPECT_EQ(pic.bits, kUntouched);
}

TEST(ImgplugPicture, FileOpenElsewhereForReadingGivesFileError) {
  TempFile file("imgplug_open_elsewhere.egd",
                edge_chain::encode_edge_chain(image::make_pattern(4, 4)));
  HANDLE other = CreateFileA(file.path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  spi::PictureInfo info;
  EXPECT_EQ(plugin().GetPictureInfo(file.path.c_str(), 0, kFileInput, &info), 6);
  Picture pic;
  get_picture_from_file(file.path, &pic);
  EXPECT_EQ(pic.result, 6);
  EXPECT_EQ(pic.info, kUntouched);
  EXPECT_EQ(pic.bits, kUntouched);
  CloseHandle(other);
  Picture again;
  get_picture_from_file(file.path, &again);
  EXPECT_EQ(again.result, 0);
}

TEST(ImgplugPicture, ProgressReachesTheHostWithItsData) {
  const image::RgbImage img = image::make_pattern(9, 6);
  edge_chain::EncodeStats stats;
  const std::vector<uint8_t> data = edge_chain::encode_edge_chain(img, &stats);
  const auto n = static_cast<int32_t>(stats.commands);
  for (int32_t lData : {0, -7, 0x5A5A1234}) {
    g_log = {};
    Picture pic;
    get_picture_from_memory(data, &pic, host_progress, lData);
    expect_round_trip(img, pic);
    ASSERT_EQ(g_log.num.size(), static_cast<size_t>(n) + 1);
    for (int32_t j = 0; j <= n; ++j) {
      EXPECT_EQ(g_log.num[j], j);
      EXPECT_EQ(g_log.denom[j], n);
      EXPECT_EQ(g_log.data[j], lData);
    }
  }
}

TEST(ImgplugPicture, CancellingAtAnyCallGivesInternalErrorWithBothBlocksStored) {
  const image::RgbImage img = image::make_pattern(6, 4);
  edge_chain::EncodeStats stats;
  const std::vector<uint8_t> data = edge_chain::encode_edge_chain(img, &stats);
  const int n = static_cast<int>(stats.commands);
  for (int at : {0, 1, n / 2, n}) {  // n is the final call
    SCOPED_TRACE(at);
    g_log = {};
    g_log.cancel_at = at;
    Picture pic;
    get_picture_from_memory(data, &pic, host_progress, 3);
    EXPECT_EQ(pic.result, 8);
    EXPECT_EQ(g_log.num.size(), static_cast<size_t>(at) + 1);
    expect_info_block(pic.info, img.width, img.height);
    ASSERT_NE(pic.bits, kUntouched);
    EXPECT_EQ(LocalSize(pic.bits), static_cast<size_t>(stride_of(6) * 4));
  }
}

TEST(ImgplugPicture, NullProgressCallbackIsAccepted) {
  const image::RgbImage img = image::make_pattern(8, 8);
  Picture pic;
  get_picture_from_memory(edge_chain::encode_edge_chain(img), &pic, nullptr, 99);
  expect_round_trip(img, pic);
}

TEST(ImgplugPicture, Egd1AndEzipAreDispatchedToTheirDecoders) {
  // EGD1: the pixel block is allocated from the 16-bit size fields before
  // decoding; this 1 x 1 picture's stream holds the pixel 11 22 33.
  std::vector<uint8_t> egd1 = header_file("EGD1", 4, 48);
  egd1[12] = 1, egd1[14] = 1;
  bytes::store_le32(&egd1[36], 5);
  bytes::store_le32(&egd1[40], 4);
  for (uint8_t b : {uint8_t{0x0F}, uint8_t{0x00}, uint8_t{0x11}, uint8_t{0x22}, uint8_t{0x33}}) {
    egd1.push_back(b);
  }
  {
    Picture pic;
    get_picture_from_memory(egd1, &pic);
    expect_info_block(pic.info, 1, 1);
    ASSERT_NE(pic.bits, kUntouched);
    ASSERT_EQ(LocalSize(pic.bits), 4u);
    if (pic.result == 0) {
      expect_pixel_block(pic.bits, {0x33, 0x22, 0x11, 0x00});
    } else {
      EXPECT_EQ(pic.result, 8);  // the EGD1 decoder is not there yet
    }
  }
  // EZip whose stream is not zlib: 8, the info block stored, *pHBm untouched.
  std::vector<uint8_t> ezip = header_file("EGD EZip", 8, 40);
  bytes::store_le32(&ezip[8], 36);
  bytes::store_le32(&ezip[12], 64);
  Picture pic;
  get_picture_from_memory(ezip, &pic);
  EXPECT_EQ(pic.result, 8);
  expect_info_block(pic.info, 0, 0);
  EXPECT_EQ(pic.bits, kUntouched);
}

// --- Bad input ---

TEST(ImgplugBadInput, NotEgdGivesUnsupportedWithNothingAllocated) {
  TempFile file("imgplug_not_egd.ppm", image::format_ppm(image::make_pattern(3, 3)));
  Picture pic;
  get_picture_from_file(file.path, &pic);
  EXPECT_EQ(pic.result, 2);
  EXPECT_EQ(pic.info, kUntouched);
  EXPECT_EQ(pic.bits, kUntouched);

  const std::vector<uint8_t> eg = {'E', 'G', 'X', 0, 2, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
  for (int32_t len : {16, 0, -1}) {
    Picture mem;
    mem.result = plugin().GetPicture(reinterpret_cast<LPCSTR>(eg.data()), len, kMemoryInput,
                                     &mem.info, &mem.bits, nullptr, 0);
    EXPECT_EQ(mem.result, 2);
    EXPECT_EQ(mem.info, kUntouched);
    EXPECT_EQ(mem.bits, kUntouched);
  }
  Picture null_image;
  null_image.result =
      plugin().GetPicture(nullptr, 100, kMemoryInput, &null_image.info, &null_image.bits, nullptr, 0);
  EXPECT_EQ(null_image.result, 2);
  EXPECT_EQ(null_image.info, kUntouched);
}

TEST(ImgplugBadInput, ImpossiblePixelBlockGivesNoMemoryAtOnce) {
  std::vector<std::vector<uint8_t>> files;
  files.push_back(edge_chain::make_edge_chain_file(1, 100000, 100000, {0x00}));
  files.push_back(edge_chain::make_edge_chain_file(1, 0x7FFFFFFF, 2, {0x00}));
  files.push_back(edge_chain::make_edge_chain_file(1, 2, 0x7FFFFFFF, {0x00}));
  std::vector<uint8_t> egd1 = header_file("EGD1", 4, 48);  // 32767 x 32767: 3 GB
  egd1[12] = 0xFF, egd1[13] = 0x7F, egd1[14] = 0xFF, egd1[15] = 0x7F;
  files.push_back(egd1);
  for (const std::vector<uint8_t>& f : files) {
    const DWORD start = GetTickCount();
    Picture pic;
    get_picture_from_memory(f, &pic);
    EXPECT_EQ(pic.result, 4);
    EXPECT_EQ(pic.info, kUntouched);
    EXPECT_EQ(pic.bits, kUntouched);
    EXPECT_LT(GetTickCount() - start, 500u);
  }
}

// The image ends exactly at a page the process may not touch, so any read
// past its end faults.
struct GuardedImage {
  uint8_t* base = nullptr;
  const uint8_t* data = nullptr;
  explicit GuardedImage(const std::vector<uint8_t>& file) {
    base = static_cast<uint8_t*>(
        VirtualAlloc(nullptr, 2 * 65536, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old = 0;
    VirtualProtect(base + 65536, 65536, PAGE_NOACCESS, &old);
    uint8_t* start = base + 65536 - file.size();
    if (!file.empty()) std::memcpy(start, file.data(), file.size());
    data = start;
  }
  ~GuardedImage() { VirtualFree(base, 0, MEM_RELEASE); }
};

TEST(ImgplugBadInput, NothingIsReadBeyondTheImage) {
  const std::vector<uint8_t> photo_like =
      edge_chain::encode_edge_chain(image::make_pattern(30, 20));
  std::vector<std::vector<uint8_t>> files;
  for (size_t cut : {3u, 7u, 11u, 15u, 19u, 21u, 40u}) {
    files.emplace_back(photo_like.begin(), photo_like.begin() + cut);
  }
  files.push_back(header_file("EGD1", 4, 13));
  files.push_back(header_file("EGD EZip", 8, 10));
  for (const std::vector<uint8_t>& f : files) {
    SCOPED_TRACE(f.size());
    GuardedImage guarded(f);
    spi::PictureInfo info;
    EXPECT_EQ(plugin().GetPictureInfo(reinterpret_cast<LPCSTR>(guarded.data),
                                      static_cast<int32_t>(f.size()), kMemoryInput, &info),
              0);
    Picture pic;
    pic.result = plugin().GetPicture(reinterpret_cast<LPCSTR>(guarded.data),
                                     static_cast<int32_t>(f.size()), kMemoryInput, &pic.info,
                                     &pic.bits, nullptr, 0);
    EXPECT_TRUE(pic.result == 0 || pic.result == 8) << pic.result;
  }
}

TEST(ImgplugBadInput, StreamEndingEarlySucceedsWithTheFinalProgressCall) {
  const image::RgbImage img = image::make_pattern(20, 10);
  edge_chain::EncodeStats stats;
  std::vector<uint8_t> data = edge_chain::encode_edge_chain(img, &stats);
  data.resize(20 + (data.size() - 20) / 2);  // half of the stream
  TempFile file("imgplug_cut.egd", data);
  g_log = {};
  Picture pic;
  get_picture_from_file(file.path, &pic, host_progress, 5);
  EXPECT_EQ(pic.result, 0);
  ASSERT_FALSE(g_log.num.empty());
  EXPECT_LT(g_log.num.size(), stats.commands + 1);
  EXPECT_EQ(g_log.num.back(), static_cast<int32_t>(stats.commands));
  EXPECT_EQ(g_log.denom.back(), static_cast<int32_t>(stats.commands));
  EXPECT_EQ(g_log.data.back(), 5);
  // The top row was decoded before the stream ran out.
  const std::vector<uint8_t> want = expected_block(img);
  const int32_t stride = stride_of(20);
  const auto* p = static_cast<const uint8_t*>(LocalLock(pic.bits));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(std::memcmp(p + 9 * stride, want.data() + 9 * stride, stride), 0);
  LocalUnlock(pic.bits);
}

TEST(ImgplugBadInput, NumbersInTheFileDoNotBoundTheWork) {
  // N = 2^31 - 1 in a 100-byte file.
  std::vector<uint8_t> huge_n = edge_chain::make_edge_chain_file(0x7FFFFFFF, 64, 64, {});
  huge_n.resize(100, 0);
  // A run of 2^31 - 1 pixels in a 64 x 64 picture.
  edge_chain::BitWriter w;
  edge_chain::put_run_length(&w, 0x7FFFFFFF);
  edge_chain::put_literal(&w, 0x123456);
  w.put_bit(false);
  edge_chain::put_run_length(&w, 0x7FFFFFFF);
  edge_chain::put_cache_hit(&w, 0);
  w.put_bit(false);
  std::vector<uint8_t> long_run = edge_chain::make_edge_chain_file(2, 64, 64, w.bytes());
  // A run-length code with k = 31 ends decoding.
  std::vector<uint8_t> k31 =
      edge_chain::make_edge_chain_file(1000, 64, 64, std::vector<uint8_t>(80, 0xFF));

  for (const std::vector<uint8_t>* f : {&huge_n, &long_run, &k31}) {
    g_log = {};
    const DWORD start = GetTickCount();
    Picture pic;
    get_picture_from_memory(*f, &pic, host_progress, 0);
    EXPECT_LT(GetTickCount() - start, 1000u);
    EXPECT_EQ(pic.result, 0);
    EXPECT_LT(g_log.num.size(), 100u);
    expect_info_block(pic.info, 64, 64);
  }
  // The long run painted the whole picture and no more.
  Picture pic;
  get_picture_from_memory(long_run, &pic);
  image::RgbImage flat = image::make_image(64, 64);
  for (int32_t y = 0; y < 64; ++y) {
    for (int32_t x = 0; x < 64; ++x) flat.set(x, y, 0x123456);
  }
  expect_pixel_block(pic.bits, expected_block(flat));
}

}  // namespace
