#include "arcplug/directory_cache.h"

#include <cstring>

namespace arcplug {

DirectoryCache::DirectoryCache() {
  for (Slot& slot : slots_) {
    slot.table = nullptr;
    slot.path[0] = '\0';
  }
}

DirectoryCache::~DirectoryCache() {
  if (abandoned_) return;
  free_all();
  lock_.release();
}

bool DirectoryCache::insert(const char* path, HostBlock table) {
  size_t length = 0;
  while (length < kPathCapacity && path[length] != '\0') ++length;
  if (length >= kPathCapacity) {
    host_block_free(table);
    return false;
  }
  LockGuard guard(&lock_);
  Slot& slot = slots_[next_];
  if (slot.table != nullptr) host_block_free(slot.table);
  slot.table = table;
  std::memcpy(slot.path, path, length + 1);
  next_ = (next_ + 1) % kSlots;
  return true;
}

int32_t DirectoryCache::query(const char* path, const MemberRequest& request) {
  LockGuard guard(&lock_);
  const int index = find_slot(path);
  if (index < 0) return spi::kNotImplemented;
  switch (answer_request(slots_[index].table, request)) {
    case RequestOutcome::kDone:
      return spi::kOk;
    case RequestOutcome::kNoMember:
      return spi::kUnsupported;
    case RequestOutcome::kNoMemory:
      break;
  }
  return spi::kNoMemory;
}

void DirectoryCache::flush() {
  LockGuard guard(&lock_);
  free_all();
}

void DirectoryCache::detach(bool process_exiting) {
  if (process_exiting) {
    abandoned_ = true;
  } else {
    flush();
  }
}

int DirectoryCache::next_slot() {
  LockGuard guard(&lock_);
  return next_;
}

// Newest first: from the slot before the next one, backwards around the
// ring; an empty slot means no older tables follow.
int DirectoryCache::find_slot(const char* path) const {
  for (int step = 1; step <= kSlots; ++step) {
    const int index = (next_ - step + kSlots) % kSlots;
    if (slots_[index].table == nullptr) return -1;
    if (same_name(slots_[index].path, path)) return index;
  }
  return -1;
}

void DirectoryCache::free_all() {
  for (Slot& slot : slots_) {
    if (slot.table != nullptr) host_block_free(slot.table);
    slot.table = nullptr;
    slot.path[0] = '\0';
  }
  next_ = 0;
}

}  // namespace arcplug
