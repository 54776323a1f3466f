#include "imgplug/egd1_lzss.h"

namespace imgplug {

// Not decoded yet: every EGD1 picture fails.
size_t lzss_expand(bytes::Span, uint8_t*, size_t) { return 0; }

DecodeStatus egd1_decode(bytes::Span, uint8_t*, size_t, int32_t) { return DecodeStatus::kBadData; }

}  // namespace imgplug
