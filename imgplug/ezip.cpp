#include "imgplug/ezip.h"

namespace imgplug {

// Not decoded yet: every EZip picture fails.
DecodeStatus ezip_inflate(bytes::Span, EdibPicture* out) {
  *out = {};
  return DecodeStatus::kBadData;
}

void ezip_copy_rows(const EdibPicture&, uint8_t*, size_t, int32_t) {}

void ezip_release(EdibPicture* pic) { *pic = {}; }

}  // namespace imgplug
