// Loads a plug-in DLL and resolves its exports by name, as a viewer does.
// Windows only; used by the main-job host program and the Wine tests.
#pragma once

#include <windows.h>

#include "common/spi_exports.h"

namespace spi_host {

struct ImagePlugin {
  HMODULE module = nullptr;
  spi::GetPluginInfoFn GetPluginInfo = nullptr;
  spi::IsSupportedFn IsSupported = nullptr;
  spi::GetPictureInfoFn GetPictureInfo = nullptr;
  spi::GetPictureFn GetPicture = nullptr;
  spi::GetPreviewFn GetPreview = nullptr;
};

struct ArchivePlugin {
  HMODULE module = nullptr;
  spi::GetPluginInfoFn GetPluginInfo = nullptr;
  spi::IsSupportedFn IsSupported = nullptr;
  spi::GetArchiveInfoFn GetArchiveInfo = nullptr;
  spi::GetFileInfoFn GetFileInfo = nullptr;
  spi::GetFileFn GetFile = nullptr;
};

// Both return false (and leave nothing loaded) when the DLL cannot be loaded
// or lacks one of the exports.
bool load_image_plugin(const char* path, ImagePlugin* out);
bool load_archive_plugin(const char* path, ArchivePlugin* out);

void unload(ImagePlugin* plugin);
void unload(ArchivePlugin* plugin);

}  // namespace spi_host
