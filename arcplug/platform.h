// The few platform services the archive reader's portable parts need: memory
// blocks that can be handed to the host, a lock, and the case-insensitive
// comparison of narrow names. On Windows these are local-memory blocks, a
// critical section and lstrcmpiA; natively they are malloc blocks that
// remember their size, a std::mutex and an ASCII comparison, so the cache and
// the table logic build and run in native tests.
#pragma once

#include <cstddef>

#if defined(_WIN32)
#include <windows.h>
#else
#include <mutex>
#endif

namespace arcplug {

// A block the host frees (LocalFree). Results are fixed blocks, so the
// handle is also the address of the bytes.
using HostBlock = void*;

// A fixed block of `size` bytes, zero-filled; null when there is no memory,
// and at once for spi::kMaxHostBlockBytes or more, which no 32-bit host can
// hold in one piece (a 64-bit build would otherwise zero-fill it for seconds).
HostBlock host_block_alloc(size_t size);
// The block's size as the allocator reports it (LocalSize on Windows).
size_t host_block_size(HostBlock block);
void host_block_free(HostBlock block);

// True when the NUL-terminated names are equal without regard to case.
bool same_name(const char* a, const char* b);

// Held by one thread at a time; not copyable. The owner calls release()
// when it is done with the lock; a lock never released is left to the
// system (at process exit it may still be owned by a stopped thread).
class CacheLock {
 public:
  CacheLock();
  void release();
  CacheLock(const CacheLock&) = delete;
  CacheLock& operator=(const CacheLock&) = delete;
  void lock();
  void unlock();

 private:
#if defined(_WIN32)
  CRITICAL_SECTION section_;
#else
  std::mutex mutex_;
#endif
};

// Holds a CacheLock for one scope.
class LockGuard {
 public:
  explicit LockGuard(CacheLock* lock) : lock_(lock) { lock_->lock(); }
  ~LockGuard() { lock_->unlock(); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  CacheLock* lock_;
};

}  // namespace arcplug
