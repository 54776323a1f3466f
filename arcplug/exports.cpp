// Entry points of arcplug.spi: the host's archive calls, answered from the
// directory cache or, on a miss, through the EPK back end.
#include <windows.h>

#include <cstdint>
#include <type_traits>

#include "arcplug/directory_cache.h"
#include "arcplug/epk_back_end.h"
#include "arcplug/epk_index.h"
#include "arcplug/member_table.h"
#include "common/spi_exports.h"

namespace {

const char* const kInfoStrings[4] = {
    "00AM",
    "Halvory EPK Plug-in (halvory-plugins project)",
    "*.epk",
    "Halvory EPK",
};

// Constructed when the DLL's static objects are, destroyed at unload.
arcplug::DirectoryCache g_cache;

// Reads the first 16 bytes of the archive at `start_offset`: 0 with *got
// set, or 6 when the file cannot be opened, the offset not reached or the
// read fails.
int32_t read_archive_start(const char* path, int32_t start_offset, uint8_t* header, DWORD* got) {
  HANDLE file =
      CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return spi::kFileError;
  int32_t result = spi::kFileError;
  if (start_offset >= 0 &&
      SetFilePointer(file, start_offset, nullptr, FILE_BEGIN) == static_cast<DWORD>(start_offset) &&
      ReadFile(file, header, arcplug::kEpkHeaderSize, got, nullptr)) {
    result = spi::kOk;
  }
  CloseHandle(file);
  return result;
}

// Answers `request` from the cached table of `path`, or reads the directory
// at `start_offset` and caches it. A member that is not there gives -1 on
// the call that read the directory and 2 on calls served by the cache.
int32_t FindMember(const char* path, int32_t start_offset, const arcplug::MemberRequest& request) {
  const int32_t cached = g_cache.query(path, request);
  if (cached != spi::kNotImplemented) return cached;

  uint8_t header[arcplug::kEpkHeaderSize] = {};
  DWORD got = 0;
  const int32_t read = read_archive_start(path, start_offset, header, &got);
  if (read != spi::kOk) return read;
  if (got < arcplug::kEpkHeaderSize || !arcplug::TestHeader(path, header)) {
    return spi::kUnsupported;
  }
  arcplug::HostBlock table = nullptr;
  const int32_t directory = arcplug::ReadDirectory(path, start_offset, &table);
  if (directory != spi::kOk) return directory;

  // Answered before the table goes to the cache: once it is there, other
  // threads' inserts may evict and free it at any moment.
  const arcplug::RequestOutcome outcome = arcplug::answer_request(table, request);
  g_cache.insert(path, table);
  switch (outcome) {
    case arcplug::RequestOutcome::kDone:
      return spi::kOk;
    case arcplug::RequestOutcome::kNoMember:
      return spi::kNotImplemented;
    case arcplug::RequestOutcome::kNoMemory:
      break;
  }
  return spi::kNoMemory;
}

}  // namespace

extern "C" {

int32_t WINAPI GetPluginInfo(int32_t infono, LPSTR buf, int32_t buflen) {
  return spi::copy_info_string(kInfoStrings, infono, buf, buflen);
}

int32_t WINAPI IsSupported(LPCSTR filename, spi::HandleOrPointer dw) {
  if (!spi::is_file_handle(dw)) {
    return arcplug::TestHeader(filename, reinterpret_cast<const uint8_t*>(dw)) ? 1 : 0;
  }
  uint8_t first[arcplug::kEpkHeaderSize] = {};
  DWORD got = 0;
  if (!ReadFile(reinterpret_cast<HANDLE>(dw), first, sizeof first, &got, nullptr) || got < 4) {
    return 0;
  }
  return arcplug::TestHeader(filename, first) ? 1 : 0;
}

int32_t WINAPI GetArchiveInfo(LPCSTR buf, int32_t len, uint32_t flag, HLOCAL* lphInf) {
  if (spi::is_memory_input(flag)) return spi::kNotImplemented;
  *lphInf = nullptr;
  arcplug::MemberRequest request;
  request.table_copy = lphInf;
  return FindMember(buf, len, request);
}

int32_t WINAPI GetFileInfo(LPCSTR buf, int32_t len, LPCSTR filename, uint32_t flag,
                           spi::fileInfo* lpInfo) {
  if (spi::is_memory_input(flag)) return spi::kNotImplemented;
  if (filename == nullptr) filename = "";
  // The record's field holds 199 characters and a NUL; a longer name is cut
  // there but matched in full, so it finds no member (recorded last name
  // components are shorter) instead of one that shares its first 199 bytes.
  lstrcpynA(lpInfo->filename, filename, sizeof lpInfo->filename);
  arcplug::MemberRequest request;
  request.name = filename;
  request.position = lpInfo->position;
  request.record = lpInfo;
  return FindMember(buf, len, request);
}

int32_t WINAPI GetFile(LPCSTR src, int32_t len, LPSTR dest, uint32_t flag,
                       spi::ProgressCallback prgressCallback, int32_t lData) {
  if (!spi::is_memory_output(flag) || spi::is_memory_input(flag)) return spi::kNotImplemented;
  spi::fileInfo member = {};
  arcplug::MemberRequest request;
  request.position = static_cast<uint32_t>(len);
  request.record = &member;
  const int32_t found = FindMember(src, 0, request);
  if (found != spi::kOk) return found;
  return arcplug::ExtractMember(src, reinterpret_cast<HLOCAL*>(dest), member, prgressCallback,
                                lData);
}

BOOL WINAPI DllMain(HINSTANCE hinstDLL, DWORD fdwReason, LPVOID lpvReserved) {
  // lpvReserved is null for FreeLibrary and non-null when the process ends,
  // after the other threads were stopped (perhaps inside the cache's lock).
  if (fdwReason == DLL_PROCESS_DETACH) g_cache.detach(lpvReserved != nullptr);
  return arcplug::DllHook(hinstDLL, fdwReason, lpvReserved);
}

}  // extern "C"

// The exports must have exactly the types the host calls them through.
static_assert(std::is_same_v<decltype(&GetPluginInfo), spi::GetPluginInfoFn>);
static_assert(std::is_same_v<decltype(&IsSupported), spi::IsSupportedFn>);
static_assert(std::is_same_v<decltype(&GetArchiveInfo), spi::GetArchiveInfoFn>);
static_assert(std::is_same_v<decltype(&GetFileInfo), spi::GetFileInfoFn>);
static_assert(std::is_same_v<decltype(&GetFile), spi::GetFileFn>);
