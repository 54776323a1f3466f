// The image plug-in's boundary: the five exports the host calls by name,
// reading the file, the blocks handed to the host, and the choice of decoder.
// No state survives a call.
#include <windows.h>

#include <type_traits>

#include "common/bytes.h"
#include "common/host_interface.h"
#include "common/spi_exports.h"
#include "imgplug/decode_status.h"
#include "imgplug/edge_chain.h"
#include "imgplug/egd1_lzss.h"
#include "imgplug/egd_header.h"
#include "imgplug/ezip.h"
#include "imgplug/pixel_block.h"

namespace {

using imgplug::DecodeStatus;

const char* const kInfoStrings[4] = {
    "00IN",
    "Halvory *.EGD Plug-in (halvory-plugins project)",
    "*.egd",
    "Halvory *.EGD",
};

// IsSupported and GetPictureInfo look at no more than this of a file.
constexpr DWORD kHeadBytes = 2000;

// BITMAPINFOHEADER, a 256-entry palette and 4 spare bytes, all zero but the header.
constexpr SIZE_T kInfoBlockBytes = sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD) + 4;
static_assert(sizeof(BITMAPINFOHEADER) == 40);
static_assert(kInfoBlockBytes == 1068);

constexpr UINT kHostBlockFlags = LMEM_MOVEABLE | LMEM_ZEROINIT;

// The one place where decoder outcomes become host result codes.
int32_t host_result(DecodeStatus status) {
  switch (status) {
    case DecodeStatus::kOk: return spi::kOk;
    case DecodeStatus::kNoMemory:
    case DecodeStatus::kTooLarge: return spi::kNoMemory;
    case DecodeStatus::kCancelled:
    case DecodeStatus::kBadData: break;
  }
  return spi::kInternalError;
}

// The file's bytes: the host's memory image, or a fixed block we read and free.
struct FileImage {
  bytes::Span bytes;
  HLOCAL owned = nullptr;
};

void release(FileImage* image) {
  if (image->owned != nullptr) LocalFree(image->owned);
  *image = {};
}

// A memory image is `len` bytes at `buf`; a null or negative one is empty.
FileImage memory_image(LPCSTR buf, int32_t len) {
  FileImage image;
  if (buf != nullptr && len > 0) {
    image.bytes = {reinterpret_cast<const uint8_t*>(buf), static_cast<size_t>(len)};
  }
  return image;
}

// Reads the start of the file (`whole` false: up to kHeadBytes) or all of it.
// Share mode 0: a file open elsewhere with read or write access is refused.
int32_t read_file_image(LPCSTR name, bool whole, FileImage* out) {
  if (name == nullptr) return spi::kFileError;
  HANDLE file = CreateFileA(name, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return spi::kFileError;

  DWORD want = kHeadBytes;
  if (whole) {
    DWORD high = 0;
    want = GetFileSize(file, &high);
    if (want == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
      CloseHandle(file);
      return spi::kFileError;
    }
    if (high != 0) {  // 4 GiB or more can never be held in memory here
      CloseHandle(file);
      return spi::kNoMemory;
    }
  }
  HLOCAL block = LocalAlloc(LMEM_FIXED, want != 0 ? want : 1);
  DWORD got = 0;
  const bool read_ok = block != nullptr && ReadFile(file, block, want, &got, nullptr) != 0;
  CloseHandle(file);
  if (block == nullptr) return spi::kNoMemory;
  if (!read_ok) {
    LocalFree(block);
    return spi::kFileError;
  }
  // Only the bytes really read belong to the image.
  out->owned = block;
  out->bytes = {static_cast<const uint8_t*>(static_cast<void*>(block)), got};
  return spi::kOk;
}

int32_t load_input(LPCSTR buf, int32_t len, uint32_t flag, bool whole, FileImage* out) {
  if (spi::is_memory_input(flag)) {
    *out = memory_image(buf, len);
    return spi::kOk;
  }
  return read_file_image(buf, whole, out);
}

void fill_info_header(BITMAPINFOHEADER* bih, int32_t width, int32_t height) {
  bih->biSize = sizeof(BITMAPINFOHEADER);
  bih->biWidth = width;
  bih->biHeight = height;
  bih->biPlanes = 1;
  bih->biBitCount = 24;
  bih->biCompression = BI_RGB;
}

// Allocates a movable zero-filled host block of `size` bytes, stores it in
// *slot at once and locks it. A zero-size block is stored but not locked.
bool new_pixel_block(size_t size, HLOCAL* slot, uint8_t** pixels) {
  *pixels = nullptr;
  HLOCAL block = LocalAlloc(kHostBlockFlags, size);
  if (block == nullptr) return size == 0;
  *slot = block;
  if (size == 0) return true;
  *pixels = static_cast<uint8_t*>(LocalLock(block));
  return *pixels != nullptr;
}

// EZip carries its size inside the compressed payload, so the pixel block
// is allocated only after inflating. On failure *pHBm is left alone.
int32_t decode_ezip(bytes::Span file, BITMAPINFOHEADER* bih, HLOCAL* pHBm) {
  imgplug::EdibPicture pic;
  const DecodeStatus status = imgplug::ezip_inflate(file, &pic);
  if (status != DecodeStatus::kOk) return host_result(status);
  bih->biWidth = pic.width;
  bih->biHeight = pic.height;
  imgplug::PixelBlockGeometry geometry;
  if (!imgplug::pixel_block_geometry(pic.width, pic.height, &geometry)) {
    imgplug::ezip_release(&pic);
    return host_result(DecodeStatus::kBadData);
  }
  HLOCAL block = nullptr;
  uint8_t* pixels = nullptr;
  const bool ok = new_pixel_block(geometry.size, &block, &pixels);
  if (block != nullptr) *pHBm = block;
  if (ok && pixels != nullptr) imgplug::ezip_copy_rows(pic, pixels, geometry.size, geometry.stride);
  imgplug::ezip_release(&pic);
  return ok ? spi::kOk : spi::kNoMemory;
}

int32_t decode_picture(bytes::Span file, HLOCAL* pHBInfo, HLOCAL* pHBm,
                       spi::ProgressCallback progress, int32_t lData) {
  // Hosts that pick plug-ins by extension call here without IsSupported.
  if (!imgplug::has_egd_magic(file)) return spi::kUnsupported;
  const imgplug::EgdVariant variant = imgplug::detect_egd_variant(file);
  const imgplug::EgdHeader header = imgplug::read_egd_header(file);

  // Refuse an impossible pixel block before anything is allocated.
  imgplug::PixelBlockGeometry geometry;
  if (variant != imgplug::EgdVariant::kEzip &&
      !imgplug::pixel_block_geometry(header.width, header.height, &geometry)) {
    return spi::kNoMemory;
  }

  HLOCAL info = LocalAlloc(kHostBlockFlags, kInfoBlockBytes);
  if (info == nullptr) return spi::kNoMemory;
  *pHBInfo = info;
  auto* bih = static_cast<BITMAPINFOHEADER*>(LocalLock(info));
  if (bih == nullptr) return spi::kNoMemory;
  fill_info_header(bih, header.width, header.height);

  if (variant == imgplug::EgdVariant::kEzip) return decode_ezip(file, bih, pHBm);

  uint8_t* pixels = nullptr;
  if (!new_pixel_block(geometry.size, pHBm, &pixels)) return spi::kNoMemory;
  const DecodeStatus status =
      variant == imgplug::EgdVariant::kEgd1
          ? imgplug::egd1_decode(file, pixels, geometry.size, geometry.stride)
          : imgplug::edge_chain_decode(file, pixels, geometry.size, geometry.stride, header.height,
                                       progress, lData);
  return host_result(status);
}

}  // namespace

extern "C" {

int32_t WINAPI GetPluginInfo(int32_t infono, LPSTR buf, int32_t buflen) {
  return spi::copy_info_string(kInfoStrings, infono, buf, buflen);
}

int32_t WINAPI IsSupported(LPCSTR /*filename*/, spi::HandleOrPointer dw) {
  if (!spi::is_file_handle(dw)) {
    return imgplug::has_egd_magic({reinterpret_cast<const uint8_t*>(dw), 3}) ? 1 : 0;
  }
  HLOCAL block = LocalAlloc(LMEM_FIXED, kHeadBytes);
  if (block == nullptr) return 0;
  DWORD got = 0;
  if (ReadFile(reinterpret_cast<HANDLE>(dw), block, kHeadBytes, &got, nullptr) == 0) got = 0;
  const bool ok =
      imgplug::has_egd_magic({static_cast<const uint8_t*>(static_cast<void*>(block)), got});
  LocalFree(block);
  return ok ? 1 : 0;
}

int32_t WINAPI GetPictureInfo(LPCSTR buf, int32_t len, uint32_t flag, spi::PictureInfo* lpInfo) {
  FileImage image;
  const int32_t loaded = load_input(buf, len, flag, false, &image);
  if (loaded != spi::kOk) return loaded;
  if (!imgplug::has_egd_magic(image.bytes)) {
    release(&image);
    return spi::kUnsupported;
  }
  const imgplug::EgdHeader header = imgplug::read_egd_header(image.bytes);
  release(&image);
  lpInfo->left = 0;
  lpInfo->top = 0;
  lpInfo->width = header.width;
  lpInfo->height = header.height;
  lpInfo->x_density = 1;
  lpInfo->y_density = 1;
  lpInfo->colorDepth = header.depth;
  lpInfo->hInfo = 0;
  return spi::kOk;
}

int32_t WINAPI GetPicture(LPCSTR buf, int32_t len, uint32_t flag, HLOCAL* pHBInfo, HLOCAL* pHBm,
                          spi::ProgressCallback lpPrgressCallback, int32_t lData) {
  FileImage image;
  const int32_t loaded = load_input(buf, len, flag, true, &image);
  if (loaded != spi::kOk) return loaded;
  const int32_t result = decode_picture(image.bytes, pHBInfo, pHBm, lpPrgressCallback, lData);
  release(&image);
  return result;
}

int32_t WINAPI GetPreview(LPCSTR, int32_t, uint32_t, HLOCAL*, HLOCAL*, spi::ProgressCallback,
                          int32_t) {
  return spi::kNotImplemented;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

}  // extern "C"

// The exports must have exactly the types the host calls them through.
static_assert(std::is_same_v<decltype(&GetPluginInfo), spi::GetPluginInfoFn>);
static_assert(std::is_same_v<decltype(&IsSupported), spi::IsSupportedFn>);
static_assert(std::is_same_v<decltype(&GetPictureInfo), spi::GetPictureInfoFn>);
static_assert(std::is_same_v<decltype(&GetPicture), spi::GetPictureFn>);
static_assert(std::is_same_v<decltype(&GetPreview), spi::GetPreviewFn>);
