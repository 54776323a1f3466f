// Signatures of the functions the plug-ins export, as the host calls them.
// Windows only: the plug-ins' export layers define these functions and the
// host programs resolve them with GetProcAddress.
#pragma once

#include <windows.h>

#include "common/host_interface.h"

namespace spi {

// IsSupported's `dw` is a DWORD in the 32-bit host; pointer-sized so that a
// 64-bit build of the same code can be driven the same way.
using HandleOrPointer = ULONG_PTR;

// Both plug-ins.
using GetPluginInfoFn = int32_t(WINAPI*)(int32_t infono, LPSTR buf, int32_t buflen);
using IsSupportedFn = int32_t(WINAPI*)(LPCSTR filename, HandleOrPointer dw);

// Image plug-in.
using GetPictureInfoFn = int32_t(WINAPI*)(LPCSTR buf, int32_t len, uint32_t flag,
                                          PictureInfo* lpInfo);
using GetPictureFn = int32_t(WINAPI*)(LPCSTR buf, int32_t len, uint32_t flag, HLOCAL* pHBInfo,
                                      HLOCAL* pHBm, ProgressCallback lpPrgressCallback,
                                      int32_t lData);
using GetPreviewFn = GetPictureFn;

// Archive plug-in.
using GetArchiveInfoFn = int32_t(WINAPI*)(LPCSTR buf, int32_t len, uint32_t flag,
                                          HLOCAL* lphInf);
using GetFileInfoFn = int32_t(WINAPI*)(LPCSTR buf, int32_t len, LPCSTR filename, uint32_t flag,
                                       fileInfo* lpInfo);
using GetFileFn = int32_t(WINAPI*)(LPCSTR src, int32_t len, LPSTR dest, uint32_t flag,
                                   ProgressCallback prgressCallback, int32_t lData);

}  // namespace spi
