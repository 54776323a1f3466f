// Child of the process-exit test: loads arcplug.spi, keeps four threads
// asking for copies of a large member table (copied under the cache's lock),
// then ends the process while they run. Exit code 42 means it got that far.
#include <windows.h>

#include <atomic>
#include <cstdio>

#include "tools/spi_host/plugin_loader.h"

namespace {

spi_host::ArchivePlugin g_plugin;
const char* g_path = nullptr;
std::atomic<int> g_copies{0};

DWORD WINAPI keep_copying(LPVOID) {
  for (;;) {
    HLOCAL table = nullptr;
    if (g_plugin.GetArchiveInfo(g_path, 0, 0, &table) == 0) LocalFree(table);
    ++g_copies;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || !spi_host::load_archive_plugin("arcplug.spi", &g_plugin)) return 1;
  g_path = argv[1];
  for (int i = 0; i < 4; ++i) CreateThread(nullptr, 0, keep_copying, nullptr, 0, nullptr);
  while (g_copies.load() < 40) Sleep(1);
  std::fflush(stdout);
  ExitProcess(42);
}
