// Encoder for EGD edge-chain pictures: greedy runs, a 128-entry cache of
// recent literals, and chains that carry a colour down the left edges of
// regions so that later runs pick it up without a command of their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/edge_chain_encoder/bit_writer.h"
#include "tools/image/rgb_image.h"

namespace edge_chain {

// The codes of the bit stream, for the encoder and for hand-built streams.
void put_run_length(BitWriter* out, uint32_t length);  // 1 <= length < 2^31
void put_literal(BitWriter* out, uint32_t rrggbb);     // colour bit 0, 24 bits
void put_cache_hit(BitWriter* out, uint32_t index);    // colour bit 1, 7 bits
void put_step(BitWriter* out, int dx);                 // -5 <= dx <= 5
void put_chain_end(BitWriter* out);

// A complete file: the 20-byte header (N, W, H) followed by `stream`.
std::vector<uint8_t> make_edge_chain_file(int32_t commands, int32_t width, int32_t height,
                                          const std::vector<uint8_t>& stream);

struct EncodeStats {
  uint32_t commands = 0;
  uint32_t literals = 0;
  uint32_t cache_hits = 0;
  uint32_t chains = 0;
  uint32_t chain_pixels = 0;  // pixels painted by chain steps
};

// The whole file for `img`. Decoded, every pixel is the picture's colour
// with bit 1 of green set (c | 0x200), as the format paints it.
std::vector<uint8_t> encode_edge_chain(const image::RgbImage& img, EncodeStats* stats);
std::vector<uint8_t> encode_edge_chain(const image::RgbImage& img);

}  // namespace edge_chain
