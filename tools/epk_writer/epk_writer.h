// Writes EPK archives: a 16-byte header ("EPK ", index size S, entry count
// N, 0), N 16-byte entries (name offset, data position, data size, 0), the
// NUL-terminated names, then the members' bytes in entry order. Used for the
// bundled samples and for test fixtures, including malformed ones.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct EpkMember {
  std::string name;  // may hold directories separated by "/"
  std::vector<uint8_t> data;
};

// The archive's bytes. `base_offset` is where the archive will sit inside a
// larger file: data positions count from the start of that file.
std::vector<uint8_t> write_epk(const std::vector<EpkMember>& members, uint32_t base_offset = 0);

// The archive written at `offset` of a file: `offset` filler bytes, the
// archive, then `trailing` filler bytes.
std::vector<uint8_t> embed_epk(const std::vector<EpkMember>& members, uint32_t offset,
                               size_t trailing = 0);

// One entry's fields exactly as they are to be stored.
struct EpkEntryFields {
  uint32_t name_offset = 0;
  uint32_t position = 0;
  uint32_t size = 0;
};

// A header and entries with any values (S and N need not agree with the
// entries or with each other), followed by `rest`: for indexes that do not
// hold together.
std::vector<uint8_t> write_epk_raw(uint32_t index_size, int32_t entry_count,
                                   const std::vector<EpkEntryFields>& entries,
                                   const std::vector<uint8_t>& rest);
