#include "tools/egd1_encoder/egd1_encoder.h"

#include <cstring>

#include "common/bytes.h"

namespace imgenc {

namespace {

constexpr size_t kRingSize = 4096;
constexpr size_t kRingStart = 0xFEE;
constexpr size_t kMinMatch = 3;
constexpr size_t kMaxMatch = 18;
constexpr size_t kMaxChain = 256;  // candidates tried per position
constexpr size_t kHashBits = 14;
constexpr size_t kNone = SIZE_MAX;

// The expander's ring at any moment holds the last 4096 bytes it wrote, and
// before the first byte it holds zeros. So the input is searched as if 4096
// zero bytes preceded it: position t of that extended text sits at ring
// position (t - 18) mod 4096, and a match at distance 1..4096 (overlapping
// its own output when shorter than its length) reads exactly what the
// expander's ring holds.
constexpr size_t kPrefix = kRingSize;

size_t hash3(const uint8_t* p) {
  uint32_t v = static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2];
  return (v * 2654435761u) >> (32 - kHashBits);
}

struct Match {
  size_t source = 0;  // position in the extended text
  size_t length = 0;
};

class MatchFinder {
 public:
  explicit MatchFinder(const std::vector<uint8_t>& text)
      : text_(text), head_(size_t{1} << kHashBits, kNone), prev_(2 * kRingSize, kNone) {}

  // Positions whose three bytes lie inside the text are chained by hash.
  void insert(size_t pos) {
    if (pos + kMinMatch > text_.size()) return;
    size_t h = hash3(&text_[pos]);
    prev_[pos % prev_.size()] = head_[h];
    head_[h] = pos;
  }

  Match longest(size_t pos) const {
    Match best;
    size_t limit = text_.size() - pos < kMaxMatch ? text_.size() - pos : kMaxMatch;
    if (limit < kMinMatch) return best;
    size_t candidate = head_[hash3(&text_[pos])];
    for (size_t tries = 0; candidate != kNone && tries < kMaxChain; ++tries) {
      if (candidate >= pos || pos - candidate > kRingSize) break;
      size_t n = 0;
      while (n < limit && text_[candidate + n] == text_[pos + n]) ++n;
      if (n > best.length) {
        best = {candidate, n};
        if (n == limit) break;
      }
      size_t next = prev_[candidate % prev_.size()];
      if (next == kNone || next >= candidate) break;  // slot reused by a newer position
      candidate = next;
    }
    if (best.length < kMinMatch) best = {};
    return best;
  }

 private:
  const std::vector<uint8_t>& text_;
  std::vector<size_t> head_;
  std::vector<size_t> prev_;
};

// Collects items behind their flag byte, 8 items per flag byte.
struct ItemWriter {
  std::vector<uint8_t> out;
  size_t flag_at = 0;
  unsigned items = 8;

  void begin_item(bool literal) {
    if (items == 8) {
      flag_at = out.size();
      out.push_back(0);
      items = 0;
    }
    if (literal) out[flag_at] = static_cast<uint8_t>(out[flag_at] | (1u << items));
    ++items;
  }
  void literal(uint8_t b) {
    begin_item(true);
    out.push_back(b);
  }
  void match(size_t ring_pos, size_t length) {
    begin_item(false);
    out.push_back(static_cast<uint8_t>(ring_pos & 0xFF));
    out.push_back(static_cast<uint8_t>(((ring_pos >> 4) & 0xF0) | (length - kMinMatch)));
  }
};

}  // namespace

std::vector<uint8_t> lzss_compress(const uint8_t* data, size_t size) {
  std::vector<uint8_t> text(kPrefix + size, 0);
  if (size > 0) std::memcpy(text.data() + kPrefix, data, size);

  MatchFinder finder(text);
  for (size_t t = 0; t < kPrefix; ++t) finder.insert(t);

  ItemWriter writer;
  size_t pos = kPrefix;
  while (pos < text.size()) {
    Match m = finder.longest(pos);
    if (m.length == 0) {
      writer.literal(text[pos]);
      finder.insert(pos);
      ++pos;
      continue;
    }
    // Extended position t sits at ring position (t + 0xFEE) mod 4096.
    writer.match((m.source + kRingStart) % kRingSize, m.length);
    for (size_t k = 0; k < m.length; ++k) finder.insert(pos + k);
    pos += m.length;
  }
  return writer.out;
}

std::vector<uint8_t> encode_egd1(const image::RgbImage& img) {
  if (img.width < 0 || img.height < 0 || img.width > 32767 || img.height > 32767) return {};
  const size_t count = static_cast<size_t>(img.width) * static_cast<size_t>(img.height);
  std::vector<uint8_t> pixels(count * 4);
  for (size_t i = 0; i < count; ++i) {
    pixels[4 * i] = 0;  // not interpreted
    std::memcpy(&pixels[4 * i + 1], &img.rgb[3 * i], 3);  // red, green, blue
  }
  std::vector<uint8_t> stream = lzss_compress(pixels.data(), pixels.size());
  if (stream.size() > UINT32_MAX || pixels.size() > UINT32_MAX) return {};

  std::vector<uint8_t> file(48, 0);
  std::memcpy(file.data(), "EGD1", 4);
  bytes::store_le16(&file[12], static_cast<uint16_t>(img.width));
  bytes::store_le16(&file[14], static_cast<uint16_t>(img.height));
  bytes::store_le32(&file[36], static_cast<uint32_t>(stream.size()));
  bytes::store_le32(&file[40], static_cast<uint32_t>(pixels.size()));
  file.insert(file.end(), stream.begin(), stream.end());
  return file;
}

}  // namespace imgenc
