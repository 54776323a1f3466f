// The EPK back end: the only part of the archive plug-in that knows the
// format. Files are opened, read and closed within each call.
#pragma once

#include <windows.h>

#include <cstdint>

#include "arcplug/platform.h"
#include "common/host_interface.h"

namespace arcplug {

// Nonzero when the file's first bytes begin with "EPK ". `name` is unused.
int TestHeader(const char* name, const uint8_t* first_bytes);

// Reads the index of the archive that starts at `start_offset` in the file
// at `path` into a new member table in `*table`: 0 with the table, or with
// `*table` null 6 (cannot open, offset or index out of reach, short read),
// 4 (no memory) or 2 (the index does not hold together, see IndexStatus;
// such an index gives no table at all, so no half-read member list reaches
// the host).
int32_t ReadDirectory(const char* path, int32_t start_offset, HostBlock* table);

// Reads the member `member` describes into a new fixed block of
// `member.filesize` bytes in `*dest`: 0, 6 (cannot open, position out of
// reach) or 4 (no memory). Bytes of the member that lie past the end of the
// file read as zero. The callback and lData are not used.
int32_t ExtractMember(const char* path, HLOCAL* dest, const spi::fileInfo& member,
                      spi::ProgressCallback progress, int32_t lData);

// DllMain's hook for the back end: nothing to do; TRUE.
BOOL DllHook(HINSTANCE instance, DWORD reason, LPVOID reserved);

}  // namespace arcplug
