// Runs a fuzz target without libFuzzer: feeds every file of the given files
// and folders (sorted, hidden files skipped) to LLVMFuzzerTestOneInput once.
// A missing folder is an empty one. Used by CTest to replay the seed corpus
// and the past crashers of every target in each build.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

namespace fs = std::filesystem;

bool replay(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "replay: cannot read %s\n", file.c_str());
    return false;
  }
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::fprintf(stderr, "replay: %s (%zu bytes)\n", file.c_str(), bytes.size());
  // Copied to a block of exactly the file's size, so that reading past the
  // input is caught as it is under libFuzzer.
  std::vector<uint8_t> exact(bytes.begin(), bytes.end());
  exact.shrink_to_fit();
  LLVMFuzzerTestOneInput(exact.data(), exact.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  size_t count = 0;
  bool ok = true;
  for (int i = 1; i < argc; ++i) {
    const fs::path arg = argv[i];
    std::error_code ec;
    if (fs::is_directory(arg, ec)) {
      std::vector<fs::path> files;
      for (const auto& entry : fs::directory_iterator(arg, ec)) {
        if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') {
          files.push_back(entry.path());
        }
      }
      std::sort(files.begin(), files.end());
      for (const auto& f : files) {
        ok = replay(f) && ok;
        ++count;
      }
    } else if (fs::exists(arg, ec)) {
      ok = replay(arg) && ok;
      ++count;
    }
  }
  std::printf("replayed %zu inputs\n", count);
  return ok ? 0 : 1;
}
