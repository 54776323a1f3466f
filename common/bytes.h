// Bounds-checked access to untrusted bytes: little-endian loads, overflow-
// checked size arithmetic and a reader over a span. Every size or offset that
// comes from a file goes through these before it is used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace bytes {

struct Span {
  const uint8_t* data = nullptr;
  size_t size = 0;
};

inline uint16_t load_le16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t load_le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline void store_le16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void store_le32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Checked arithmetic: false when the exact result does not fit in *out.
template <typename T>
[[nodiscard]] inline bool checked_mul(T a, T b, T* out) {
  return !__builtin_mul_overflow(a, b, out);
}
template <typename T>
[[nodiscard]] inline bool checked_add(T a, T b, T* out) {
  return !__builtin_add_overflow(a, b, out);
}

// True when [offset, offset + length) lies inside a buffer of `size` bytes.
[[nodiscard]] inline bool range_fits(uint64_t offset, uint64_t length, uint64_t size) {
  return offset <= size && length <= size - offset;
}

// The bytes [offset, offset + length) of `s`, or an empty span with ok = false
// when they are not all inside it.
[[nodiscard]] inline Span subspan(Span s, uint64_t offset, uint64_t length, bool* ok) {
  if (!range_fits(offset, length, s.size)) {
    *ok = false;
    return {};
  }
  *ok = true;
  return {s.data + offset, static_cast<size_t>(length)};
}

// Field loads that read missing bytes (past the end of a short buffer) as 0.
inline uint32_t load_le32_or_zero(Span s, size_t offset) {
  uint8_t b[4] = {};
  if (offset < s.size) std::memcpy(b, s.data + offset, s.size - offset < 4 ? s.size - offset : 4);
  return load_le32(b);
}
inline uint16_t load_le16_or_zero(Span s, size_t offset) {
  uint8_t b[2] = {};
  if (offset < s.size) std::memcpy(b, s.data + offset, s.size - offset < 2 ? s.size - offset : 2);
  return load_le16(b);
}

// True when `s` begins with the `n` bytes at `magic`.
inline bool starts_with(Span s, const char* magic, size_t n) {
  return s.size >= n && std::memcmp(s.data, magic, n) == 0;
}

}  // namespace bytes
