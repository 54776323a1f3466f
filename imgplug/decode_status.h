// Outcome of a decoder, finer than the host's result codes; the export layer
// maps it to those codes in one place.
#pragma once

namespace imgplug {

enum class DecodeStatus {
  kOk,
  kCancelled,  // the progress callback asked to stop
  kNoMemory,   // a scratch buffer or block could not be allocated
  kTooLarge,   // the picture cannot exist in a 32-bit process
  kBadData,    // the payload is not what its variant requires (e.g. no "EDib")
};

}  // namespace imgplug
