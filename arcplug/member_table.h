// Requests answered from a member table (a host block of fileInfo records
// ending with a record whose method starts with NUL): a copy of the whole
// table for the host, or the record of one member.
#pragma once

#include <cstdint>

#include "arcplug/platform.h"
#include "common/host_interface.h"

namespace arcplug {

// Exactly one of the two kinds: a copy request when `table_copy` is set,
// otherwise a record request.
struct MemberRequest {
  // Copy request: receives a new fixed block holding the whole table, or null.
  HostBlock* table_copy = nullptr;
  // Record request: the member named `name` (without regard to case) when it
  // is not empty, else the member whose data starts at `position`. The
  // matching record is copied over `*record`.
  const char* name = "";
  uint32_t position = 0;
  spi::fileInfo* record = nullptr;
};

enum class RequestOutcome { kDone, kNoMember, kNoMemory };

// Answers `request` from `table`. The record search stops at the ending
// record and never reads past the table block.
RequestOutcome answer_request(HostBlock table, const MemberRequest& request);

}  // namespace arcplug
