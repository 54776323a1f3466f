#include "arcplug/epk_index.h"

#include <cstring>

namespace arcplug {

bool has_epk_magic(const uint8_t* first_bytes) {
  return std::strncmp(reinterpret_cast<const char*>(first_bytes), "EPK ", 4) == 0;
}

EpkHeader read_epk_header(const uint8_t* header) {
  return {bytes::load_le32(header + 4), static_cast<int32_t>(bytes::load_le32(header + 8))};
}

IndexStatus checked_member_count(EpkHeader header, uint32_t* count) {
  if (header.index_size < kEpkHeaderSize || header.entry_count < 0) return IndexStatus::kBroken;
  const uint32_t capacity = (header.index_size - kEpkHeaderSize) / kEpkEntrySize;
  if (static_cast<uint32_t>(header.entry_count) > capacity) return IndexStatus::kBroken;
  *count = static_cast<uint32_t>(header.entry_count);
  return IndexStatus::kOk;
}

bool member_table_bytes(uint32_t count, size_t* bytes) {
  size_t records = 0;
  return bytes::checked_add<size_t>(count, 1, &records) &&
         bytes::checked_mul<size_t>(records, sizeof(spi::fileInfo), bytes);
}

const char* last_name_component(const char* name) {
  const char* slash = std::strrchr(name, '/');
  return slash != nullptr ? slash + 1 : name;
}

namespace {

// The NUL-terminated name at `offset` of the index, or null when the offset
// lies outside the index or no NUL follows it inside the index.
const char* name_at(bytes::Span index, uint32_t offset) {
  if (offset >= index.size) return nullptr;
  const char* name = reinterpret_cast<const char*>(index.data + offset);
  if (std::memchr(name, '\0', index.size - offset) == nullptr) return nullptr;
  return name;
}

}  // namespace

IndexStatus fill_member_table(bytes::Span index, uint32_t count, spi::fileInfo* records) {
  bool ok = false;
  const bytes::Span entries =
      bytes::subspan(index, kEpkHeaderSize, uint64_t{count} * kEpkEntrySize, &ok);
  if (!ok) return IndexStatus::kBroken;

  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* entry = entries.data + size_t{i} * kEpkEntrySize;
    const char* name = name_at(index, bytes::load_le32(entry));
    if (name == nullptr) return IndexStatus::kBroken;
    const char* last = last_name_component(name);
    const size_t last_length = std::strlen(last);
    spi::fileInfo& record = records[i];
    if (last_length >= sizeof record.filename) return IndexStatus::kBroken;

    std::memset(&record, 0, sizeof record);
    std::memcpy(record.method, kMemberMethod, sizeof kMemberMethod - 1);
    record.position = bytes::load_le32(entry + 4);
    record.compsize = bytes::load_le32(entry + 8);
    record.filesize = record.compsize;
    std::memcpy(record.filename, last, last_length);
  }
  std::memset(&records[count], 0, sizeof records[count]);
  return IndexStatus::kOk;
}

}  // namespace arcplug
