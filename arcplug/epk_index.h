// EPK index parsing on a byte buffer. The index is the first S bytes of an
// archive: a 16-byte header ("EPK ", S, N, unused), N 16-byte entries (name
// offset, data position, data size, unused) and NUL-terminated names, with
// every offset counted from the header's first byte. It becomes a member
// table: one fileInfo record per entry and an all-zero ending record.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/bytes.h"
#include "common/host_interface.h"

namespace arcplug {

inline constexpr uint32_t kEpkHeaderSize = 16;
inline constexpr uint32_t kEpkEntrySize = 16;
inline constexpr char kMemberMethod[] = "pacf";

enum class IndexStatus {
  kOk,
  // The index does not hold together: S too small for the header, N
  // negative or more entries than S bytes can hold, a name offset outside
  // the index, a name without a NUL inside it, or a last name component too
  // long for the 199 characters of fileInfo::filename.
  kBroken,
};

// True when the first bytes begin with the magic "EPK " (compared as
// strncmp over 4 characters does: a NUL before the 4th byte ends the match).
bool has_epk_magic(const uint8_t* first_bytes);

// S and N as the 16 header bytes state them.
struct EpkHeader {
  uint32_t index_size;
  int32_t entry_count;
};
EpkHeader read_epk_header(const uint8_t* header);

// The member count of a header whose N fits its S (0 <= N <= (S - 16) / 16);
// kBroken otherwise. Bounding N by S keeps every later size tied to bytes
// that really exist in the file.
IndexStatus checked_member_count(EpkHeader header, uint32_t* count);

// Bytes of the member table for `count` members: (count + 1) records.
// False when that does not fit a size_t.
bool member_table_bytes(uint32_t count, size_t* bytes);

// Fills the `count` + 1 records at `records` from the S-byte `index`
// (count as checked_member_count gave it). Every record is written whole, the
// ending one all zero. On kBroken the records hold nothing useful and the
// caller discards them.
IndexStatus fill_member_table(bytes::Span index, uint32_t count, spi::fileInfo* records);

// The text after the last "/" of a name (the whole name when there is none).
const char* last_name_component(const char* name);

}  // namespace arcplug
