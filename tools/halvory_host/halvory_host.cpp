// halvory_host: our stand-in for a picture viewer. It loads imgplug.spi and
// arcplug.spi the way a viewer does (LoadLibrary, exports by name), asks each
// plug-in whether it takes a file, and turns every picture, loose or inside
// an archive, into a BMP file. One line a picture; the last line sums up.
//
//   halvory_host <samples folder> <output folder>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/host_interface.h"
#include "tools/halvory_host/bmp_writer.h"
#include "tools/spi_host/plugin_loader.h"

namespace {

struct Tally {
  int pictures = 0;
  int failed = 0;
};

// The variant as a person would name it, from the picture's first bytes.
const char* variant_name(const uint8_t* head, size_t size) {
  if (size >= 8 && std::memcmp(head, "EGD EZip", 8) == 0) return "EZip";
  if (size >= 4 && std::memcmp(head, "EGD1", 4) == 0) return "EGD1";
  return "edge-chain";
}

std::vector<std::string> list_files(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return names;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) names.push_back(found.cFileName);
  } while (FindNextFileA(h, &found));
  FindClose(h);
  std::sort(names.begin(), names.end());
  return names;
}

// Asks IsSupported with an open handle, as viewers do for files on disk.
bool plugin_takes_file(spi::IsSupportedFn is_supported, const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool yes = is_supported(path.c_str(), reinterpret_cast<spi::HandleOrPointer>(h)) != 0;
  CloseHandle(h);
  return yes;
}

std::string read_head(const std::string& path) {
  char head[8] = {};
  DWORD got = 0;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    ReadFile(h, head, sizeof head, &got, nullptr);
    CloseHandle(h);
  }
  return std::string(head, got);
}

// "coffee.egd" -> "coffee"
std::string stem(const std::string& name) {
  const size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

// Decodes one picture (a file, or a memory image when `image` is set),
// writes it as <out_dir>/<bmp_name> and prints its line.
void convert_picture(const spi_host::ImagePlugin& img, const std::string& label,
                     const std::string& source, const uint8_t* image, int32_t image_size,
                     const std::string& out_dir, const std::string& bmp_name, Tally* tally) {
  const std::string head = image != nullptr
      ? std::string(reinterpret_cast<const char*>(image), std::min<int32_t>(image_size, 8))
      : read_head(source);
  const char* variant =
      variant_name(reinterpret_cast<const uint8_t*>(head.data()), head.size());

  HLOCAL info = nullptr;
  HLOCAL pixels = nullptr;
  const int32_t rc = image != nullptr
      ? img.GetPicture(reinterpret_cast<LPCSTR>(image), image_size, 1, &info, &pixels, nullptr, 0)
      : img.GetPicture(source.c_str(), 0, 0, &info, &pixels, nullptr, 0);

  int32_t width = 0, height = 0;
  if (info != nullptr) {
    const auto* bih = static_cast<const BITMAPINFOHEADER*>(LocalLock(info));
    width = bih->biWidth;
    height = bih->biHeight;
    LocalUnlock(info);
  }
  const std::string bmp_path = out_dir + "\\" + bmp_name;
  const bool written = rc == spi::kOk && halvory_host::write_bmp(bmp_path.c_str(), info, pixels);
  ++tally->pictures;
  if (!written) ++tally->failed;
  std::printf("%-34s %-10s %5dx%-5d %s\n", label.c_str(), variant, width, height,
              written ? ("ok -> " + bmp_name).c_str()
                      : (rc == spi::kOk ? "BMP not written" : "failed, code " + std::to_string(rc)).c_str());
  if (info != nullptr) LocalFree(info);
  if (pixels != nullptr) LocalFree(pixels);
}

// Lists an archive through arcplug, extracts each member into memory and
// hands every picture among them to imgplug in memory mode.
void convert_archive(const spi_host::ArchivePlugin& arc, const spi_host::ImagePlugin& img,
                     const std::string& name, const std::string& path,
                     const std::string& out_dir, Tally* tally) {
  HLOCAL table = nullptr;
  int32_t rc = arc.GetArchiveInfo(path.c_str(), 0, 0, &table);
  if (rc != spi::kOk) {
    ++tally->failed;
    std::printf("%-34s archive not listed, code %d\n", name.c_str(), rc);
    return;
  }
  const auto* records = static_cast<const spi::fileInfo*>(LocalLock(table));
  const size_t count = LocalSize(table) / sizeof(spi::fileInfo);
  std::printf("%-34s archive, %u members\n", name.c_str(),
              static_cast<unsigned>(count > 0 ? count - 1 : 0));
  for (size_t i = 0; i < count && records[i].method[0] != '\0'; ++i) {
    const spi::fileInfo& member = records[i];
    const std::string label = name + ":" + member.filename;
    HLOCAL data = nullptr;
    rc = arc.GetFile(path.c_str(), static_cast<int32_t>(member.position),
                     reinterpret_cast<LPSTR>(&data), 0x100, nullptr, 0);
    if (rc != spi::kOk) {
      ++tally->pictures;
      ++tally->failed;
      std::printf("%-34s not extracted, code %d\n", label.c_str(), rc);
      continue;
    }
    const auto* bytes = static_cast<const uint8_t*>(LocalLock(data));
    if (img.IsSupported(member.filename, reinterpret_cast<spi::HandleOrPointer>(bytes)) != 0) {
      convert_picture(img, label, path, bytes, static_cast<int32_t>(member.filesize), out_dir,
                      stem(name) + "-" + stem(member.filename) + ".bmp", tally);
    } else {
      std::printf("%-34s %u bytes, not a picture\n", label.c_str(), member.filesize);
    }
    LocalUnlock(data);
    LocalFree(data);
  }
  LocalUnlock(table);
  LocalFree(table);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: halvory_host <samples folder> <output folder>\n");
    return 2;
  }
  const std::string samples = argv[1];
  const std::string out_dir = argv[2];

  spi_host::ImagePlugin img;
  spi_host::ArchivePlugin arc;
  if (!spi_host::load_image_plugin("imgplug.spi", &img) ||
      !spi_host::load_archive_plugin("arcplug.spi", &arc)) {
    std::fprintf(stderr, "halvory_host: cannot load imgplug.spi and arcplug.spi\n");
    return 1;
  }
  char text[256];
  img.GetPluginInfo(1, text, sizeof text);
  std::printf("image plug-in:   %s\n", text);
  arc.GetPluginInfo(1, text, sizeof text);
  std::printf("archive plug-in: %s\n", text);

  Tally tally;
  for (const std::string& name : list_files(samples)) {
    const std::string path = samples + "\\" + name;
    if (plugin_takes_file(img.IsSupported, path)) {
      convert_picture(img, name, path, nullptr, 0, out_dir, stem(name) + ".bmp", &tally);
    } else if (plugin_takes_file(arc.IsSupported, path)) {
      convert_archive(arc, img, name, path, out_dir, &tally);
    }
  }
  std::printf("%d pictures: %d decoded, %d failed\n", tally.pictures, tally.pictures - tally.failed,
              tally.failed);
  spi_host::unload(&img);
  spi_host::unload(&arc);
  return tally.failed == 0 && tally.pictures > 0 ? 0 : 1;
}
