#include "arcplug/member_table.h"

#include <cstring>

namespace arcplug {

namespace {

RequestOutcome copy_table(HostBlock table, HostBlock* out) {
  const size_t size = host_block_size(table);
  *out = host_block_alloc(size);
  if (*out == nullptr) return RequestOutcome::kNoMemory;
  std::memcpy(*out, table, size);
  return RequestOutcome::kDone;
}

RequestOutcome find_record(HostBlock table, const MemberRequest& request) {
  const auto* records = static_cast<const spi::fileInfo*>(table);
  const size_t capacity = host_block_size(table) / sizeof(spi::fileInfo);
  const bool by_name = request.name != nullptr && request.name[0] != '\0';
  for (size_t i = 0; i < capacity && records[i].method[0] != '\0'; ++i) {
    const bool match = by_name ? same_name(records[i].filename, request.name)
                               : records[i].position == request.position;
    if (match) {
      std::memcpy(request.record, &records[i], sizeof(spi::fileInfo));
      return RequestOutcome::kDone;
    }
  }
  return RequestOutcome::kNoMember;
}

}  // namespace

RequestOutcome answer_request(HostBlock table, const MemberRequest& request) {
  return request.table_copy != nullptr ? copy_table(table, request.table_copy)
                                       : find_record(table, request);
}

}  // namespace arcplug
