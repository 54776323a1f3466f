// Writes the bitmap a plug-in handed over (info block + pixel block) as a
// BMP file. Windows only.
#pragma once

#include <windows.h>

namespace halvory_host {

// The blocks are the host's: this locks and unlocks them but does not free
// them. False when the blocks do not describe a 24-bit bitmap or the file
// cannot be written.
bool write_bmp(const char* path, HLOCAL info_block, HLOCAL pixel_block);

}  // namespace halvory_host
