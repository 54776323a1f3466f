// The member tables of the 16 archives read most recently, keyed by archive
// path without regard to case. One process-wide object shared by every
// thread that calls the plug-in; each operation holds the lock throughout.
#pragma once

#include <cstddef>
#include <cstdint>

#include "arcplug/member_table.h"
#include "arcplug/platform.h"

namespace arcplug {

class DirectoryCache {
 public:
  static constexpr int kSlots = 16;
  // A slot's path holds up to 259 characters and a NUL.
  static constexpr size_t kPathCapacity = 260;

  DirectoryCache();
  ~DirectoryCache();
  DirectoryCache(const DirectoryCache&) = delete;
  DirectoryCache& operator=(const DirectoryCache&) = delete;

  // Takes ownership of `table` and stores it in the next slot of the ring,
  // freeing the oldest table there. A path that does not fit a slot is not
  // cached (cutting it could make two archives share one table): the table
  // is freed at once and the result is false.
  bool insert(const char* path, HostBlock table);

  // Answers `request` from the newest table cached for `path`: -1 when the
  // path is not cached, else 0, 2 (no such member) or 4 (no memory).
  int32_t query(const char* path, const MemberRequest& request);

  // Frees every table; the next insert goes to slot 0.
  void flush();

  // Process detach. When the DLL is unloaded (FreeLibrary) the cache is
  // flushed. When the process is ending, the other threads were stopped
  // wherever they were, possibly holding the lock or halfway through an
  // insert: the cache is then abandoned, neither locked nor freed, and the
  // destructor leaves tables and lock to the system as well.
  void detach(bool process_exiting);

  // For tests: the slot the next insert fills.
  int next_slot();

 private:
  struct Slot {
    HostBlock table;
    char path[kPathCapacity];
  };

  friend struct DirectoryCacheProbe;  // tests: hold the lock from outside

  int find_slot(const char* path) const;  // lock held; -1 when not cached
  void free_all();                         // lock held, or no other user left

  CacheLock lock_;
  Slot slots_[kSlots];
  int next_ = 0;
  bool abandoned_ = false;
};

}  // namespace arcplug
