// Every export of both plug-ins, called as a viewer calls them, on a few
// hundred damaged copies of every bundled sample. Expected: no crash, no
// hang, only the documented result codes, and every block handed over is
// whole and can be freed by the host.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "common/host_interface.h"
#include "tests/damaged_sweep/damage.h"
#include "tools/image/rgb_image.h"
#include "tools/spi_host/plugin_loader.h"

namespace {

// Named in the crash report, should a call take the process down.
std::string g_current_case;

LONG WINAPI report_crash(EXCEPTION_POINTERS* info) {
  std::printf("CRASH (exception 0x%08lx) in case: %s\n",
              static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode),
              g_current_case.c_str());
  std::fflush(stdout);
  return EXCEPTION_EXECUTE_HANDLER;
}

// Times one call; the slowest of all is reported and must stay well under a second.
struct Stopwatch {
  LARGE_INTEGER freq{}, start{};
  Stopwatch() {
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&start);
  }
  double seconds() const {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(freq.QuadPart);
  }
};

// The slowest call against its allowance. A call may take a second, plus
// the time to clear the picture's own pixel block: a small file can rightly
// describe a large black picture, and allocating and clearing hundreds of
// megabytes takes time in proportion (about 0.3 s per 100 MB under Wine).
struct Worst {
  double share = 0;  // seconds / allowance; the sweep fails at 1
  double seconds = 0;
  std::string which;
  void note(double s, const std::string& what, uint64_t picture_bytes = 0) {
    const double allowance = 1.0 + static_cast<double>(picture_bytes) / 1e8;
    if (s / allowance > share) {
      share = s / allowance;
      seconds = s;
      which = what;
    }
  }
};

// Bytes of the pixel block an info block describes (0 when it describes none).
uint64_t picture_bytes(HLOCAL info) {
  if (info == nullptr || LocalSize(info) < sizeof(BITMAPINFOHEADER)) return 0;
  const auto* bih = static_cast<const BITMAPINFOHEADER*>(LocalLock(info));
  const int64_t w = bih->biWidth, h = bih->biHeight;
  LocalUnlock(info);
  return (w > 0 && h > 0) ? static_cast<uint64_t>((w * 3 + 3) / 4 * 4 * h) : 0;
}

bool is_one_of(int32_t rc, std::initializer_list<int32_t> allowed) {
  for (int32_t a : allowed) {
    if (rc == a) return true;
  }
  return false;
}

std::vector<std::string> samples_with(const char* extension) {
  std::vector<std::string> paths;
  WIN32_FIND_DATAA found;
  const std::string folder = HALVORY_SAMPLES_DIR;
  HANDLE h = FindFirstFileA((folder + "/*" + extension).c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return paths;
  do paths.push_back(folder + "/" + found.cFileName);
  while (FindNextFileA(h, &found));
  FindClose(h);
  return paths;
}

std::string temp_path(const char* name) {
  char dir[MAX_PATH];
  GetTempPathA(MAX_PATH, dir);
  return std::string(dir) + name;
}

int32_t WINAPI count_progress(int32_t, int32_t, int32_t) { return 0; }

class DamagedSweep : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { SetUnhandledExceptionFilter(report_crash); }
};

// Checks the blocks of one GetPicture call and frees them as a host does.
void check_and_free_bitmap(int32_t rc, HLOCAL info, HLOCAL pixels, const std::string& what) {
  if (rc == spi::kOk) {
    ASSERT_NE(info, nullptr) << what;
    ASSERT_EQ(LocalSize(info), 1068u) << what;
    const auto* bih = static_cast<const BITMAPINFOHEADER*>(LocalLock(info));
    const int64_t w = bih->biWidth, h = bih->biHeight;
    LocalUnlock(info);
    const uint64_t want = (w > 0 && h > 0) ? static_cast<uint64_t>((w * 3 + 3) / 4 * 4 * h) : 0;
    ASSERT_NE(pixels, nullptr) << what;
    EXPECT_EQ(LocalSize(pixels), want) << what;
  }
  // Whatever was stored belongs to the host and must be a block it can free.
  if (info != nullptr) {
    EXPECT_EQ(LocalFree(info), nullptr) << what;
  }
  if (pixels != nullptr) {
    EXPECT_EQ(LocalFree(pixels), nullptr) << what;
  }
}

TEST_F(DamagedSweep, ImagePluginSurvivesDamagedPictures) {
  spi_host::ImagePlugin img;
  ASSERT_TRUE(spi_host::load_image_plugin("imgplug.spi", &img));
  const std::vector<std::string> pictures = samples_with(".egd");
  ASSERT_GE(pictures.size(), 3u);

  // Fields of all three headers: edge-chain N, W, H; EZip L, U; EGD1 C, D
  // and its 16-bit W, H.
  const sweep::FieldPlan fields{{4, 8, 12, 16, 36, 40}, {12, 14}};
  const std::string file = temp_path("halvory_sweep.egd");
  Worst worst;
  int cases = 0;
  for (const std::string& path : pictures) {
    std::vector<uint8_t> original;
    ASSERT_TRUE(image::read_file(path, &original)) << path;
    int k = 0;
    for (const sweep::Damaged& d : sweep::damage(original, fields)) {
      const std::string what = path + ": " + d.what;
      g_current_case = what;
      ++cases;
      // Viewers hand IsSupported a zero-padded buffer of the first bytes.
      std::vector<uint8_t> head(d.bytes);
      head.resize(2048 > head.size() ? 2048 : head.size(), 0);
      const auto* image_bytes = reinterpret_cast<LPCSTR>(head.data());
      const int32_t size = static_cast<int32_t>(d.bytes.size());

      Stopwatch t1;
      EXPECT_TRUE(is_one_of(img.IsSupported("x.egd", reinterpret_cast<spi::HandleOrPointer>(head.data())), {0, 1})) << what;
      spi::PictureInfo info{};
      EXPECT_TRUE(is_one_of(img.GetPictureInfo(image_bytes, size, 1, &info), {0, 2})) << what;
      worst.note(t1.seconds(), what + " (info)");

      HLOCAL hinfo = nullptr, hpixels = nullptr;
      Stopwatch t2;
      int32_t rc = img.GetPicture(image_bytes, size, 1, &hinfo, &hpixels,
                                  (k % 2) != 0 ? count_progress : nullptr, 7);
      worst.note(t2.seconds(), what + " (memory)", picture_bytes(hinfo));
      EXPECT_TRUE(is_one_of(rc, {0, 2, 4, 8})) << what << " gave " << rc;
      check_and_free_bitmap(rc, hinfo, hpixels, what);

      // File mode for a share of the cases: the same decoders behind the file reads.
      if (k++ % 8 == 0) {
        ASSERT_TRUE(image::write_file(file, d.bytes));
        hinfo = hpixels = nullptr;
        Stopwatch t3;
        rc = img.GetPicture(file.c_str(), 0, 0, &hinfo, &hpixels, nullptr, 0);
        worst.note(t3.seconds(), what + " (file)", picture_bytes(hinfo));
        EXPECT_TRUE(is_one_of(rc, {0, 2, 4, 8})) << what << " gave " << rc;
        check_and_free_bitmap(rc, hinfo, hpixels, what);
        EXPECT_TRUE(is_one_of(img.GetPictureInfo(file.c_str(), 0, 0, &info), {0, 2})) << what;
      }
    }
  }
  DeleteFileA(file.c_str());
  g_current_case.clear();
  std::printf("image sweep: %d damaged pictures, slowest call %.3f s, %.0f%% of its allowance (%s)\n",
              cases, worst.seconds, worst.share * 100, worst.which.c_str());
  EXPECT_LT(worst.share, 1.0) << worst.which;
  spi_host::unload(&img);
}

TEST_F(DamagedSweep, ArchivePluginSurvivesDamagedArchives) {
  spi_host::ArchivePlugin arc;
  ASSERT_TRUE(spi_host::load_archive_plugin("arcplug.spi", &arc));
  const std::vector<std::string> archives = samples_with(".epk");
  ASSERT_GE(archives.size(), 1u);

  Worst worst;
  int cases = 0;
  for (const std::string& path : archives) {
    std::vector<uint8_t> original;
    ASSERT_TRUE(image::read_file(path, &original)) << path;
    // Header S and N, and the name offset, position and size of the first entries.
    sweep::FieldPlan fields{{4, 8}, {}};
    for (size_t entry = 16; entry < 16 + 4 * 16; entry += 16) {
      for (size_t field : {0u, 4u, 8u}) fields.le32_offsets.push_back(entry + field);
    }
    for (const sweep::Damaged& d : sweep::damage(original, fields)) {
      const std::string what = path + ": " + d.what;
      g_current_case = what;
      // A new name for every case: the plug-in caches directories by path.
      const std::string file = temp_path(("halvory_sweep_" + std::to_string(cases++) + ".epk").c_str());
      ASSERT_TRUE(image::write_file(file, d.bytes));

      Stopwatch t1;
      HANDLE h = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
      ASSERT_NE(h, INVALID_HANDLE_VALUE);
      EXPECT_TRUE(is_one_of(arc.IsSupported(file.c_str(), reinterpret_cast<spi::HandleOrPointer>(h)), {0, 1})) << what;
      CloseHandle(h);

      HLOCAL table = nullptr;
      const int32_t rc = arc.GetArchiveInfo(file.c_str(), 0, 0, &table);
      worst.note(t1.seconds(), what + " (list)");
      EXPECT_TRUE(is_one_of(rc, {0, 2, 4, 6})) << what << " gave " << rc;
      if (rc != spi::kOk) {
        EXPECT_EQ(table, nullptr) << what;
        DeleteFileA(file.c_str());
        continue;
      }
      ASSERT_NE(table, nullptr) << what;
      const SIZE_T table_size = LocalSize(table);
      ASSERT_EQ(table_size % sizeof(spi::fileInfo), 0u) << what;
      ASSERT_GE(table_size, sizeof(spi::fileInfo)) << what;
      const auto* records = static_cast<const spi::fileInfo*>(LocalLock(table));
      const size_t count = table_size / sizeof(spi::fileInfo);
      spi::fileInfo zero{};
      EXPECT_EQ(std::memcmp(&records[count - 1], &zero, sizeof zero), 0) << what;

      for (size_t i = 0; i + 1 < count && i < 64; ++i) {
        const spi::fileInfo& member = records[i];
        EXPECT_NE(std::memchr(member.filename, 0, sizeof member.filename), nullptr) << what;
        Stopwatch t2;
        spi::fileInfo found{};
        EXPECT_TRUE(is_one_of(arc.GetFileInfo(file.c_str(), 0, member.filename, 0, &found), {0, 2})) << what;
        HLOCAL data = nullptr;
        const int32_t got = arc.GetFile(file.c_str(), static_cast<int32_t>(member.position),
                                        reinterpret_cast<LPSTR>(&data), 0x100, nullptr, 0);
        worst.note(t2.seconds(), what + " (extract)");
        EXPECT_TRUE(is_one_of(got, {0, 2, 4, 6})) << what << " gave " << got;
        if (got == spi::kOk) {
          ASSERT_NE(data, nullptr) << what;
          EXPECT_GE(LocalSize(data), member.filesize) << what;
        }
        if (data != nullptr) {
          EXPECT_EQ(LocalFree(data), nullptr) << what;
        }
      }
      LocalUnlock(table);
      EXPECT_EQ(LocalFree(table), nullptr) << what;
      DeleteFileA(file.c_str());
    }
  }
  g_current_case.clear();
  std::printf("archive sweep: %d damaged archives, slowest call %.3f s (%s)\n", cases,
              worst.seconds, worst.which.c_str());
  EXPECT_LT(worst.share, 1.0) << worst.which;
  spi_host::unload(&arc);
}

}  // namespace
