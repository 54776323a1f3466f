#include "tools/epk_writer/epk_writer.h"

namespace {

void put_le32(std::vector<uint8_t>* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<uint8_t>(v >> (8 * i)));
}

constexpr uint32_t kHeaderSize = 16;
constexpr uint32_t kEntrySize = 16;

}  // namespace

std::vector<uint8_t> write_epk_raw(uint32_t index_size, int32_t entry_count,
                                   const std::vector<EpkEntryFields>& entries,
                                   const std::vector<uint8_t>& rest) {
  std::vector<uint8_t> out = {'E', 'P', 'K', ' '};
  put_le32(&out, index_size);
  put_le32(&out, static_cast<uint32_t>(entry_count));
  put_le32(&out, 0);
  for (const EpkEntryFields& e : entries) {
    put_le32(&out, e.name_offset);
    put_le32(&out, e.position);
    put_le32(&out, e.size);
    put_le32(&out, 0);
  }
  out.insert(out.end(), rest.begin(), rest.end());
  return out;
}

std::vector<uint8_t> write_epk(const std::vector<EpkMember>& members, uint32_t base_offset) {
  std::vector<uint8_t> names;
  std::vector<EpkEntryFields> entries(members.size());
  const auto names_start = static_cast<uint32_t>(kHeaderSize + kEntrySize * members.size());
  for (size_t i = 0; i < members.size(); ++i) {
    entries[i].name_offset = names_start + static_cast<uint32_t>(names.size());
    names.insert(names.end(), members[i].name.begin(), members[i].name.end());
    names.push_back(0);
  }
  const uint32_t index_size = names_start + static_cast<uint32_t>(names.size());
  uint32_t position = base_offset + index_size;
  std::vector<uint8_t> rest = names;
  for (size_t i = 0; i < members.size(); ++i) {
    entries[i].position = position;
    entries[i].size = static_cast<uint32_t>(members[i].data.size());
    position += entries[i].size;
    rest.insert(rest.end(), members[i].data.begin(), members[i].data.end());
  }
  return write_epk_raw(index_size, static_cast<int32_t>(members.size()), entries, rest);
}

std::vector<uint8_t> embed_epk(const std::vector<EpkMember>& members, uint32_t offset,
                               size_t trailing) {
  std::vector<uint8_t> out(offset, 0xA5);
  const std::vector<uint8_t> archive = write_epk(members, offset);
  out.insert(out.end(), archive.begin(), archive.end());
  out.insert(out.end(), trailing, 0x5A);
  return out;
}
