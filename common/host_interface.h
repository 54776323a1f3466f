// Declarations of the plug-in host interface shared by imgplug and arcplug:
// result codes, the records the host reads, the progress callback and the
// conventions for the flag and handle-or-pointer arguments.
//
// Everything here is plain data so that the decoders, the archive reader and
// their tests build natively as well as for 32-bit Windows. Fields that hold
// host handles are declared as 32-bit integers: the host is a 32-bit process.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define SPI_STDCALL __stdcall
#else
#define SPI_STDCALL
#endif

namespace spi {

// Result codes of every exported function.
enum Result : int32_t {
  kNotImplemented = -1,  // also: member not found on a fresh directory read
  kOk = 0,
  kCancelled = 1,        // part of the interface, never returned by our plug-ins
  kUnsupported = 2,      // not our format, or member not found in the cache
  kNoMemory = 4,
  kFileError = 6,
  kInternalError = 8,    // imgplug: decoding failed or was cancelled
};

// Called as (nNum, nDenom, lData); a nonzero result asks the plug-in to stop.
using ProgressCallback = int32_t(SPI_STDCALL*)(int32_t nNum, int32_t nDenom, int32_t lData);

#pragma pack(push, 1)

// Filled by GetPictureInfo.
struct PictureInfo {
  int32_t left;
  int32_t top;
  int32_t width;
  int32_t height;
  uint16_t x_density;
  uint16_t y_density;
  int16_t colorDepth;
  uint32_t hInfo;  // HLOCAL in the 32-bit host; we always store null
};

// One archive member as the host sees it.
struct fileInfo {
  char method[8];
  uint32_t position;
  uint32_t compsize;
  uint32_t filesize;
  uint32_t timestamp;
  char path[200];
  char filename[200];
  uint32_t crc;
};

#pragma pack(pop)

static_assert(sizeof(PictureInfo) == 26);
static_assert(offsetof(PictureInfo, left) == 0);
static_assert(offsetof(PictureInfo, top) == 4);
static_assert(offsetof(PictureInfo, width) == 8);
static_assert(offsetof(PictureInfo, height) == 12);
static_assert(offsetof(PictureInfo, x_density) == 16);
static_assert(offsetof(PictureInfo, y_density) == 18);
static_assert(offsetof(PictureInfo, colorDepth) == 20);
static_assert(offsetof(PictureInfo, hInfo) == 22);

static_assert(sizeof(fileInfo) == 428);
static_assert(offsetof(fileInfo, method) == 0);
static_assert(offsetof(fileInfo, position) == 8);
static_assert(offsetof(fileInfo, compsize) == 12);
static_assert(offsetof(fileInfo, filesize) == 16);
static_assert(offsetof(fileInfo, timestamp) == 20);
static_assert(offsetof(fileInfo, path) == 24);
static_assert(offsetof(fileInfo, filename) == 224);
static_assert(offsetof(fileInfo, crc) == 424);

// The largest block we hand to a host. A 32-bit process has 2 GiB of address
// space shared with its code, DLLs and heaps; a block of 1 GiB or more in one
// piece is not to be had there, so such requests fail at once with kNoMemory
// instead of being tried (and, in a 64-bit build, zero-filled for seconds).
inline constexpr uint64_t kMaxHostBlockBytes = 0x40000000u;

// Bits 0..2 of `flag`: 0 = `buf` names a file, nonzero = `buf` is a memory image.
inline bool is_memory_input(uint32_t flag) { return (flag & 0x7u) != 0; }
// Bits 8..10 of GetFile's `flag`: 0 = write to a file, nonzero = memory block.
inline bool is_memory_output(uint32_t flag) { return (flag & 0x700u) != 0; }

// IsSupported's second argument, a DWORD in the 32-bit host (pointer-sized
// in our 64-bit test build): a value below 0x10000 (upper 16 bits zero) is an
// open file handle; anything else is the address of the file's first bytes.
inline bool is_file_handle(uintptr_t dw) { return (dw >> 16) == 0; }

// GetPluginInfo for both plug-ins: copy string `infono` of the table into
// `buf`, cut to `buflen` bytes including the NUL. Returns the characters
// placed, or 0 without touching `buf` for an index outside 0..3.
inline int32_t copy_info_string(const char* const (&table)[4], int32_t infono, char* buf,
                                int32_t buflen) {
  if (infono < 0 || infono > 3 || buf == nullptr || buflen <= 0) return 0;
  const char* text = table[infono];
  int32_t n = 0;
  while (n < buflen - 1 && text[n] != '\0') {
    buf[n] = text[n];
    ++n;
  }
  buf[n] = '\0';
  return n;
}

}  // namespace spi
