// EGD variants and the header fields the export layer needs. Every variant
// begins with "EGD"; the fourth and following bytes tell them apart.
#pragma once

#include <cstdint>

#include "common/bytes.h"

namespace imgplug {

enum class EgdVariant {
  kEdgeChain,  // "EGD" and anything that is neither of the two below
  kEgd1,       // "EGD1": LZSS-compressed 32-bit pixels
  kEzip,       // "EGD EZip": zlib stream around an "EDib" block
};

// Offset of the edge-chain bit stream, after N, W and H.
inline constexpr size_t kEdgeChainBitsOffset = 20;

struct EgdHeader {
  int32_t width = 0;
  int32_t height = 0;
  int16_t depth = 24;  // every variant decodes to 24-bit pixels
};

// True when the first three bytes are "EGD".
bool has_egd_magic(bytes::Span file);

// "EGD EZip" is tested over 8 bytes, "EGD1" over 4; anything else is the
// edge-chain variant. A file too short for a magic is not that variant.
EgdVariant detect_egd_variant(bytes::Span file);

// W and H of any variant: EGD1 keeps them as signed 16-bit fields at 12 and
// 14, EZip only inside its compressed payload (reported as 0 x 0), the
// edge-chain variant as int32 at 8 and 12. Bytes missing from a short file
// read as 0. Does not check the "EGD" magic.
EgdHeader read_egd_header(bytes::Span file);

// The edge-chain command count N (int32 at offset 4).
int32_t edge_chain_command_count(bytes::Span file);

}  // namespace imgplug
