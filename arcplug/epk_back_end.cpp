#include "arcplug/epk_back_end.h"

#include <cstdlib>

#include "arcplug/epk_index.h"

namespace arcplug {

namespace {

HANDLE open_archive(const char* path) {
  return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
}

// Moves to `offset` from the start of the file. Offsets of 2^31 and more do
// not fit the signed 32-bit distance and cannot be reached.
bool seek_to(HANDLE file, uint64_t offset) {
  if (offset > INT32_MAX) return false;
  const DWORD moved = SetFilePointer(file, static_cast<LONG>(offset), nullptr, FILE_BEGIN);
  return moved == offset;
}

// Reads until `size` bytes arrived, the file ends or a read fails; returns
// the bytes read.
DWORD read_up_to(HANDLE file, void* buffer, DWORD size) {
  DWORD total = 0;
  while (total < size) {
    DWORD got = 0;
    if (!ReadFile(file, static_cast<uint8_t*>(buffer) + total, size - total, &got, nullptr) ||
        got == 0) {
      break;
    }
    total += got;
  }
  return total;
}

bool file_size_of(HANDLE file, uint64_t* size) {
  DWORD high = 0;
  const DWORD low = GetFileSize(file, &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
  *size = uint64_t{high} << 32 | low;
  return true;
}

int32_t read_directory_from(HANDLE file, int32_t start_offset, HostBlock* table) {
  uint64_t file_size = 0;
  if (start_offset < 0 || !file_size_of(file, &file_size)) return spi::kFileError;
  uint8_t header_bytes[kEpkHeaderSize];
  if (!seek_to(file, static_cast<uint64_t>(start_offset)) ||
      read_up_to(file, header_bytes, kEpkHeaderSize) != kEpkHeaderSize) {
    return spi::kFileError;
  }
  const EpkHeader header = read_epk_header(header_bytes);
  uint32_t count = 0;
  if (checked_member_count(header, &count) != IndexStatus::kOk) return spi::kUnsupported;
  // An index that claims more bytes than the file holds is a short read; it
  // is refused before anything is allocated for it, so memory follows the
  // file's real size and never the header's word alone.
  if (!bytes::range_fits(static_cast<uint64_t>(start_offset), header.index_size, file_size)) {
    return spi::kFileError;
  }
  size_t table_size = 0;
  if (!member_table_bytes(count, &table_size)) return spi::kNoMemory;

  auto* scratch = static_cast<uint8_t*>(std::malloc(header.index_size));
  if (scratch == nullptr) return spi::kNoMemory;
  int32_t result = spi::kFileError;
  if (seek_to(file, static_cast<uint64_t>(start_offset)) &&
      read_up_to(file, scratch, header.index_size) == header.index_size) {
    HostBlock records = host_block_alloc(table_size);
    if (records == nullptr) {
      result = spi::kNoMemory;
    } else if (fill_member_table({scratch, header.index_size}, count,
                                 static_cast<spi::fileInfo*>(records)) != IndexStatus::kOk) {
      host_block_free(records);
      result = spi::kUnsupported;
    } else {
      *table = records;
      result = spi::kOk;
    }
  }
  std::free(scratch);
  return result;
}

}  // namespace

int TestHeader(const char*, const uint8_t* first_bytes) { return has_epk_magic(first_bytes); }

int32_t ReadDirectory(const char* path, int32_t start_offset, HostBlock* table) {
  *table = nullptr;
  HANDLE file = open_archive(path);
  if (file == INVALID_HANDLE_VALUE) return spi::kFileError;
  const int32_t result = read_directory_from(file, start_offset, table);
  CloseHandle(file);
  return result;
}

int32_t ExtractMember(const char* path, HLOCAL* dest, const spi::fileInfo& member,
                      spi::ProgressCallback, int32_t) {
  *dest = nullptr;
  HANDLE file = open_archive(path);
  if (file == INVALID_HANDLE_VALUE) return spi::kFileError;
  int32_t result = spi::kFileError;
  if (seek_to(file, member.position)) {
    // Zero-filled, so bytes past the end of the file read as zero rather
    // than whatever the heap held.
    HostBlock block = host_block_alloc(member.filesize);
    if (block == nullptr) {
      result = spi::kNoMemory;
    } else {
      read_up_to(file, block, member.filesize);
      *dest = block;
      result = spi::kOk;
    }
  }
  CloseHandle(file);
  return result;
}

BOOL DllHook(HINSTANCE, DWORD, LPVOID) { return TRUE; }

}  // namespace arcplug
