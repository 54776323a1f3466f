// EPK index parsing: the input is an archive file. As the back end does, the
// header's S and N are checked, an index longer than the file is refused,
// and the first S bytes (copied to a block of exactly S bytes, so that any
// read past the index is caught) fill a member table of exactly N + 1
// records. The table is then searched as the host's requests do.
//
// Invariants: a parsed table has N + 1 records of 428 bytes, each of the
// first N says "pacf" and holds its entry's position and size, an empty path
// and the last component of its name, NUL-terminated within 200 bytes with
// zeros after it, and the last record is all zero; an index is refused only
// when it really does not hold together; a search by position or by name
// finds the first matching record.

#include <cstdint>
#include <cstring>

#include "arcplug/epk_index.h"
#include "arcplug/member_table.h"
#include "arcplug/platform.h"
#include "common/bytes.h"
#include "fuzz/fuzz_check.h"

namespace {

using arcplug::kEpkEntrySize;
using arcplug::kEpkHeaderSize;

bool all_zero(const void* p, size_t n) {
  const auto* b = static_cast<const uint8_t*>(p);
  for (size_t i = 0; i < n; ++i) {
    if (b[i] != 0) return false;
  }
  return true;
}

// The name an entry points at, checked independently of the parser: null
// when it starts outside the index or has no NUL inside it.
const char* entry_name(bytes::Span index, uint32_t i) {
  const uint32_t offset = bytes::load_le32(index.data + kEpkHeaderSize + size_t{i} * kEpkEntrySize);
  if (offset >= index.size) return nullptr;
  const char* name = reinterpret_cast<const char*>(index.data + offset);
  return std::memchr(name, 0, index.size - offset) != nullptr ? name : nullptr;
}

const char* last_component(const char* name) {
  const char* last = name;
  for (const char* p = name; *p != '\0'; ++p) {
    if (*p == '/') last = p + 1;
  }
  return last;
}

// Whether every entry names something a record can hold.
bool index_holds_together(bytes::Span index, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    const char* name = entry_name(index, i);
    if (name == nullptr || std::strlen(last_component(name)) >= 200) return false;
  }
  return true;
}

void check_record(const spi::fileInfo& r, bytes::Span index, uint32_t i) {
  const uint8_t* entry = index.data + kEpkHeaderSize + size_t{i} * kEpkEntrySize;
  FUZZ_CHECK(std::memcmp(r.method, "pacf\0\0\0\0", 8) == 0);
  FUZZ_CHECK(r.position == bytes::load_le32(entry + 4));
  FUZZ_CHECK(r.compsize == bytes::load_le32(entry + 8));
  FUZZ_CHECK(r.filesize == r.compsize);
  FUZZ_CHECK(r.timestamp == 0 && r.crc == 0);
  FUZZ_CHECK(all_zero(r.path, sizeof r.path));
  const void* nul = std::memchr(r.filename, 0, sizeof r.filename);
  FUZZ_CHECK(nul != nullptr);
  const size_t length = static_cast<size_t>(static_cast<const char*>(nul) - r.filename);
  FUZZ_CHECK(all_zero(r.filename + length, sizeof r.filename - length));
  FUZZ_CHECK(std::strcmp(r.filename, last_component(entry_name(index, i))) == 0);
}

// A record request must return the first record that matches, or none.
void check_search(arcplug::HostBlock table, uint32_t count, const char* name, uint32_t position) {
  const auto* records = static_cast<const spi::fileInfo*>(table);
  int expected = -1;
  for (uint32_t i = 0; i < count && expected < 0; ++i) {
    const bool match = name[0] != '\0' ? arcplug::same_name(records[i].filename, name)
                                       : records[i].position == position;
    if (match) expected = static_cast<int>(i);
  }
  spi::fileInfo found;
  std::memset(&found, 0xA5, sizeof found);
  arcplug::MemberRequest request;
  request.name = name;
  request.position = position;
  request.record = &found;
  const arcplug::RequestOutcome outcome = arcplug::answer_request(table, request);
  if (expected < 0) {
    FUZZ_CHECK(outcome == arcplug::RequestOutcome::kNoMember);
  } else {
    FUZZ_CHECK(outcome == arcplug::RequestOutcome::kDone);
    FUZZ_CHECK(std::memcmp(&found, &records[expected], sizeof found) == 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kEpkHeaderSize) return 0;
  FUZZ_CHECK(arcplug::has_epk_magic(data) == (std::memcmp(data, "EPK ", 4) == 0));
  const arcplug::EpkHeader header = arcplug::read_epk_header(data);
  uint32_t count = 0;
  const arcplug::IndexStatus counted = arcplug::checked_member_count(header, &count);
  const bool count_fits = header.index_size >= kEpkHeaderSize && header.entry_count >= 0 &&
                          (uint64_t{header.index_size} - kEpkHeaderSize) / kEpkEntrySize >=
                              static_cast<uint64_t>(header.entry_count);
  FUZZ_CHECK((counted == arcplug::IndexStatus::kOk) == count_fits);
  if (!count_fits) return 0;
  FUZZ_CHECK(count == static_cast<uint32_t>(header.entry_count));
  if (header.index_size > size) return 0;  // a short read: refused before parsing

  ExactBlock index_block(header.index_size);
  std::memcpy(index_block.data(), data, header.index_size);
  const bytes::Span index{index_block.data(), index_block.size()};

  size_t table_size = 0;
  FUZZ_CHECK(arcplug::member_table_bytes(count, &table_size));
  FUZZ_CHECK(table_size == (size_t{count} + 1) * sizeof(spi::fileInfo));
  arcplug::HostBlock table = arcplug::host_block_alloc(table_size);
  FUZZ_CHECK(table != nullptr);
  // Garbage first: every record must be written whole.
  std::memset(table, 0xA5, table_size);
  auto* records = static_cast<spi::fileInfo*>(table);

  const arcplug::IndexStatus filled = arcplug::fill_member_table(index, count, records);
  FUZZ_CHECK((filled == arcplug::IndexStatus::kOk) == index_holds_together(index, count));
  if (filled == arcplug::IndexStatus::kOk) {
    for (uint32_t i = 0; i < count; ++i) check_record(records[i], index, i);
    FUZZ_CHECK(all_zero(&records[count], sizeof(spi::fileInfo)));

    // Searches: by the first record's name with its case changed, by a name
    // from the end of the input, and by the last entry's position.
    if (count > 0) {
      char upper[200];
      std::memcpy(upper, records[0].filename, sizeof upper);
      for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      }
      check_search(table, count, upper, 0);
      check_search(table, count, "", records[count - 1].position);
    }
    char tail_name[8] = {};
    std::memcpy(tail_name, data + size - 7, 7);
    check_search(table, count, tail_name, bytes::load_le32(data + size - 4));

    arcplug::HostBlock copy = nullptr;
    arcplug::MemberRequest copy_request;
    copy_request.table_copy = &copy;
    FUZZ_CHECK(arcplug::answer_request(table, copy_request) == arcplug::RequestOutcome::kDone);
    FUZZ_CHECK(arcplug::host_block_size(copy) == table_size);
    FUZZ_CHECK(std::memcmp(copy, table, table_size) == 0);
    arcplug::host_block_free(copy);
  }
  arcplug::host_block_free(table);
  return 0;
}
