#include "arcplug/platform.h"

#include "common/host_interface.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace arcplug {

#if defined(_WIN32)

HostBlock host_block_alloc(size_t size) {
  if (size >= spi::kMaxHostBlockBytes) return nullptr;
  return LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, size);
}
size_t host_block_size(HostBlock block) { return LocalSize(block); }
void host_block_free(HostBlock block) { LocalFree(block); }

bool same_name(const char* a, const char* b) { return lstrcmpiA(a, b) == 0; }

CacheLock::CacheLock() { InitializeCriticalSection(&section_); }
void CacheLock::release() { DeleteCriticalSection(&section_); }
void CacheLock::lock() { EnterCriticalSection(&section_); }
void CacheLock::unlock() { LeaveCriticalSection(&section_); }

#else

// Natively the size lives in a header in front of the bytes; the header is
// max_align_t wide so the bytes stay suitably aligned for fileInfo records.
namespace {
constexpr size_t kSizeHeader = alignof(std::max_align_t);
}

HostBlock host_block_alloc(size_t size) {
  if (size >= spi::kMaxHostBlockBytes) return nullptr;
  auto* base = static_cast<unsigned char*>(std::calloc(1, kSizeHeader + size));
  if (base == nullptr) return nullptr;
  std::memcpy(base, &size, sizeof size);
  return base + kSizeHeader;
}

size_t host_block_size(HostBlock block) {
  size_t size = 0;
  std::memcpy(&size, static_cast<unsigned char*>(block) - kSizeHeader, sizeof size);
  return size;
}

void host_block_free(HostBlock block) {
  if (block != nullptr) std::free(static_cast<unsigned char*>(block) - kSizeHeader);
}

bool same_name(const char* a, const char* b) {
  auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : int{c}; };
  for (;; ++a, ++b) {
    const int x = lower(static_cast<unsigned char>(*a));
    const int y = lower(static_cast<unsigned char>(*b));
    if (x != y) return false;
    if (x == 0) return true;
  }
}

CacheLock::CacheLock() = default;
void CacheLock::release() {}
void CacheLock::lock() { mutex_.lock(); }
void CacheLock::unlock() { mutex_.unlock(); }

#endif

}  // namespace arcplug
