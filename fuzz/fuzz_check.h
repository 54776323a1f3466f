// Helpers shared by the fuzz targets: invariant checks that abort (so both
// libFuzzer and the replay test report them), and exact-size blocks so that
// AddressSanitizer catches any write past what the caller allocated.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// Every picture a target decodes is capped at this many pixels, so a case
// never needs more than a few megabytes; larger headers are skipped.
inline constexpr int64_t kMaxFuzzPixels = int64_t{1} << 18;

#define FUZZ_CHECK(cond)                                                               \
  do {                                                                                 \
    if (!(cond)) {                                                                     \
      std::fprintf(stderr, "%s:%d: invariant failed: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                                    \
    }                                                                                  \
  } while (0)

// A zero-filled heap block of exactly `size` bytes (a real, inaccessible
// allocation when size is 0), freed with the object.
class ExactBlock {
 public:
  explicit ExactBlock(size_t size)
      : size_(size), data_(static_cast<uint8_t*>(std::calloc(size ? size : 1, 1))) {
    if (data_ == nullptr) std::abort();
    if (size == 0) {
      std::free(data_);
      data_ = static_cast<uint8_t*>(std::malloc(0));
    }
  }
  ~ExactBlock() { std::free(data_); }
  ExactBlock(const ExactBlock&) = delete;
  ExactBlock& operator=(const ExactBlock&) = delete;

  uint8_t* data() { return data_; }
  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  size_t size_;
  uint8_t* data_;
};

// The `count` option bytes at the end of an input, removed from it: the last
// bytes choose harness options so that the fuzzer explores them too.
inline uint32_t take_trailing_options(const uint8_t** data, size_t* size, size_t count) {
  uint32_t value = 0;
  for (size_t i = 0; i < count && *size > 0; ++i) {
    value = value << 8 | (*data)[*size - 1];
    --*size;
  }
  return value;
}
