#include "imgplug/egd_header.h"

namespace imgplug {

bool has_egd_magic(bytes::Span file) { return bytes::starts_with(file, "EGD", 3); }

EgdVariant detect_egd_variant(bytes::Span file) {
  if (bytes::starts_with(file, "EGD EZip", 8)) return EgdVariant::kEzip;
  if (bytes::starts_with(file, "EGD1", 4)) return EgdVariant::kEgd1;
  return EgdVariant::kEdgeChain;
}

EgdHeader read_egd_header(bytes::Span file) {
  EgdHeader h;
  switch (detect_egd_variant(file)) {
    case EgdVariant::kEgd1:
      h.width = static_cast<int16_t>(bytes::load_le16_or_zero(file, 12));
      h.height = static_cast<int16_t>(bytes::load_le16_or_zero(file, 14));
      break;
    case EgdVariant::kEzip:
      break;
    case EgdVariant::kEdgeChain:
      h.width = static_cast<int32_t>(bytes::load_le32_or_zero(file, 8));
      h.height = static_cast<int32_t>(bytes::load_le32_or_zero(file, 12));
      break;
  }
  return h;
}

int32_t edge_chain_command_count(bytes::Span file) {
  return static_cast<int32_t>(bytes::load_le32_or_zero(file, 4));
}

}  // namespace imgplug
