#include "tools/halvory_host/bmp_writer.h"

#include "common/host_interface.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace halvory_host {

bool write_bmp(const char* path, HLOCAL info_block, HLOCAL pixel_block) {
  if (info_block == nullptr || LocalSize(info_block) < sizeof(BITMAPINFOHEADER)) return false;
  BITMAPINFOHEADER header;
  std::memcpy(&header, LocalLock(info_block), sizeof header);
  LocalUnlock(info_block);
  if (header.biBitCount != 24 || header.biWidth < 0) return false;

  const uint64_t stride = (static_cast<uint64_t>(header.biWidth) * 3 + 3) / 4 * 4;
  const uint64_t rows = header.biHeight < 0 ? -static_cast<int64_t>(header.biHeight)
                                            : static_cast<uint64_t>(header.biHeight);
  const uint64_t image_size = stride * rows;
  const SIZE_T have = pixel_block != nullptr ? LocalSize(pixel_block) : 0;
  if (image_size > have || image_size >= spi::kMaxHostBlockBytes) return false;

  header.biSizeImage = static_cast<DWORD>(image_size);
  BITMAPFILEHEADER file_header = {};
  file_header.bfType = 0x4D42;  // "BM"
  file_header.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  file_header.bfSize = static_cast<DWORD>(file_header.bfOffBits + image_size);

  std::FILE* f = std::fopen(path, "wb");
  if (f == nullptr) return false;
  bool ok = std::fwrite(&file_header, sizeof file_header, 1, f) == 1 &&
            std::fwrite(&header, sizeof header, 1, f) == 1;
  if (ok && image_size != 0) {
    const size_t n = static_cast<size_t>(image_size);  // below kMaxHostBlockBytes
    ok = std::fwrite(LocalLock(pixel_block), 1, n, f) == n;
    LocalUnlock(pixel_block);
  }
  return std::fclose(f) == 0 && ok;
}

}  // namespace halvory_host
