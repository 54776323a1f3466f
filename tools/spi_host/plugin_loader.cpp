#include "tools/spi_host/plugin_loader.h"

namespace spi_host {
namespace {

template <typename Fn>
bool resolve(HMODULE module, const char* name, Fn* out) {
  *out = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  return *out != nullptr;
}

}  // namespace

bool load_image_plugin(const char* path, ImagePlugin* out) {
  ImagePlugin p;
  p.module = LoadLibraryA(path);
  if (p.module == nullptr) return false;
  if (!resolve(p.module, "GetPluginInfo", &p.GetPluginInfo) ||
      !resolve(p.module, "IsSupported", &p.IsSupported) ||
      !resolve(p.module, "GetPictureInfo", &p.GetPictureInfo) ||
      !resolve(p.module, "GetPicture", &p.GetPicture) ||
      !resolve(p.module, "GetPreview", &p.GetPreview)) {
    FreeLibrary(p.module);
    return false;
  }
  *out = p;
  return true;
}

bool load_archive_plugin(const char* path, ArchivePlugin* out) {
  ArchivePlugin p;
  p.module = LoadLibraryA(path);
  if (p.module == nullptr) return false;
  if (!resolve(p.module, "GetPluginInfo", &p.GetPluginInfo) ||
      !resolve(p.module, "IsSupported", &p.IsSupported) ||
      !resolve(p.module, "GetArchiveInfo", &p.GetArchiveInfo) ||
      !resolve(p.module, "GetFileInfo", &p.GetFileInfo) ||
      !resolve(p.module, "GetFile", &p.GetFile)) {
    FreeLibrary(p.module);
    return false;
  }
  *out = p;
  return true;
}

void unload(ImagePlugin* plugin) {
  if (plugin->module != nullptr) FreeLibrary(plugin->module);
  *plugin = ImagePlugin{};
}

void unload(ArchivePlugin* plugin) {
  if (plugin->module != nullptr) FreeLibrary(plugin->module);
  *plugin = ArchivePlugin{};
}

}  // namespace spi_host
