#include "tools/edge_chain_encoder/edge_chain_encoder.h"

#include <bit>

#include "common/bytes.h"

namespace edge_chain {

void put_run_length(BitWriter* out, uint32_t length) {
  if (length <= 1) {
    out->put_bit(false);
    return;
  }
  // 2^k <= length < 2^(k+1): a one, k - 1 more ones, a zero, then k bits.
  const int k = std::bit_width(length) - 1;
  for (int i = 0; i < k; ++i) out->put_bit(true);
  out->put_bit(false);
  out->put(length - (1u << k), k);
}

void put_literal(BitWriter* out, uint32_t rrggbb) {
  out->put_bit(false);
  out->put(rrggbb & 0xFFFFFFu, 24);
}

void put_cache_hit(BitWriter* out, uint32_t index) {
  out->put_bit(true);
  out->put(index & 0x7Fu, 7);
}

void put_step(BitWriter* out, int dx) {
  switch (dx) {
    case 0: out->put(1, 2); break;
    case -1: out->put(2, 2); break;
    case 1: out->put(3, 2); break;
    case -2: out->put(0b0001, 4); break;
    case 2: out->put(0b0010, 4); break;
    case -3: out->put(0b001100, 6); break;
    case 3: out->put(0b001101, 6); break;
    case -4: out->put(0b001110, 6); break;
    case 4: out->put(0b00111100, 8); break;
    case -5: out->put(0b00111101, 8); break;
    case 5: out->put(0b00111110, 8); break;
    default: break;
  }
}

void put_chain_end(BitWriter* out) { out->put(0, 4); }

std::vector<uint8_t> make_edge_chain_file(int32_t commands, int32_t width, int32_t height,
                                          const std::vector<uint8_t>& stream) {
  // The fourth byte is not interpreted; 0 can never make "EGD1" or "EGD EZip".
  std::vector<uint8_t> file(20 + stream.size(), 0);
  file[0] = 'E';
  file[1] = 'G';
  file[2] = 'D';
  bytes::store_le32(&file[4], static_cast<uint32_t>(commands));
  bytes::store_le32(&file[8], static_cast<uint32_t>(width));
  bytes::store_le32(&file[12], static_cast<uint32_t>(height));
  for (size_t i = 0; i < stream.size(); ++i) file[20 + i] = stream[i];
  return file;
}

namespace {

// Cheapest codes first, so chains prefer short steps.
constexpr int kStepOrder[] = {0, -1, 1, -2, 2, -3, 3, -4, 4, -5, 5};
constexpr size_t kMaxRun = 0x7FFFFFFF;
constexpr uint32_t kPaintedBit = 0x200;

// The encoder mirrors the decoder's picture: `canvas` holds what has been
// painted so far (0 = not yet). Only pixels whose target is that very colour
// are ever painted, so the decoded picture equals the target.
struct Encoder {
  size_t width = 0;
  size_t height = 0;
  std::vector<uint32_t> target;  // picture colour | kPaintedBit, raster order
  std::vector<uint32_t> canvas;
  uint32_t cache[128] = {};
  uint32_t literals = 0;

  // The pixel starts a region of its colour, so a run arriving from the
  // left would have to end there: worth painting ahead with a chain.
  bool starts_region(size_t q) const { return q == 0 || target[q - 1] != target[q]; }

  // Follows `colour` down from (x, y) along region starts; paints them.
  std::vector<int> plan_chain(size_t x, size_t y, uint32_t colour) {
    std::vector<int> steps;
    for (size_t cx = x, cy = y; cy + 1 < height; ++cy) {
      bool found = false;
      for (int dx : kStepOrder) {
        if ((dx < 0 && cx < static_cast<size_t>(-dx)) ||
            (dx > 0 && cx + static_cast<size_t>(dx) >= width)) {
          continue;
        }
        const size_t nx = dx < 0 ? cx - static_cast<size_t>(-dx) : cx + static_cast<size_t>(dx);
        const size_t q = (cy + 1) * width + nx;
        if (target[q] == colour && canvas[q] == 0 && starts_region(q)) {
          canvas[q] = colour;
          steps.push_back(dx);
          cx = nx;
          found = true;
          break;
        }
      }
      if (!found) break;
    }
    return steps;
  }

  // Longest run from `pos` that the decoder paints right: it adopts chain
  // colours on its way and must match the target at every pixel.
  size_t run_length(size_t pos) const {
    uint32_t current = canvas[pos];
    size_t end = pos + 1;
    while (end < target.size() && end - pos < kMaxRun) {
      if (canvas[end] != 0) current = canvas[end];
      if (current != target[end]) break;
      ++end;
    }
    return end - pos;
  }

  int find_in_cache(uint32_t colour) const {
    for (int i = 0; i < 128; ++i) {
      if ((cache[i] | kPaintedBit) == colour) return i;
    }
    return -1;
  }
};

}  // namespace

std::vector<uint8_t> encode_edge_chain(const image::RgbImage& img, EncodeStats* stats) {
  EncodeStats counts;
  Encoder enc;
  if (img.width > 0 && img.height > 0) {
    enc.width = static_cast<size_t>(img.width);
    enc.height = static_cast<size_t>(img.height);
    enc.target.resize(enc.width * enc.height);
    for (int32_t y = 0; y < img.height; ++y) {
      for (int32_t x = 0; x < img.width; ++x) {
        enc.target[static_cast<size_t>(y) * enc.width + static_cast<size_t>(x)] =
            img.at(x, y) | kPaintedBit;
      }
    }
    enc.canvas.assign(enc.target.size(), 0);
  }

  BitWriter out;
  for (size_t pos = 0; pos < enc.target.size();) {
    const size_t x = pos % enc.width;
    const size_t y = pos / enc.width;
    const uint32_t colour = enc.target[pos];
    enc.canvas[pos] = colour;
    // The chain is planned before the run: the run may reach the row below
    // and pick up what the chain painted there.
    const std::vector<int> steps = enc.plan_chain(x, y, colour);
    const size_t length = enc.run_length(pos);

    put_run_length(&out, static_cast<uint32_t>(length));
    const int hit = enc.find_in_cache(colour);
    if (hit >= 0) {
      put_cache_hit(&out, static_cast<uint32_t>(hit));
      ++counts.cache_hits;
    } else {
      const uint32_t rrggbb = img.at(static_cast<int32_t>(x), static_cast<int32_t>(y));
      put_literal(&out, rrggbb);
      enc.cache[enc.literals++ % 128] = rrggbb;
      ++counts.literals;
    }
    out.put_bit(!steps.empty());
    if (!steps.empty()) {
      for (int dx : steps) put_step(&out, dx);
      put_chain_end(&out);
      ++counts.chains;
      counts.chain_pixels += static_cast<uint32_t>(steps.size());
    }

    // Paint the run as the decoder will, so later commands see it.
    uint32_t current = colour;
    for (size_t q = pos; q < pos + length; ++q) {
      if (enc.canvas[q] != 0) current = enc.canvas[q];
      enc.canvas[q] = current;
    }
    pos += length;
    ++counts.commands;
  }

  if (stats != nullptr) *stats = counts;
  return make_edge_chain_file(static_cast<int32_t>(counts.commands), img.width, img.height,
                              out.bytes());
}

std::vector<uint8_t> encode_edge_chain(const image::RgbImage& img) {
  return encode_edge_chain(img, nullptr);
}

}  // namespace edge_chain
