// Decoding speed of the three EGD variants on a real photograph, each set
// against a baseline measured in the same run, so that the ratios hold from
// machine to machine:
//   - every decoder against writing the photograph's pixels into the same
//     bottom-up 24-bit bitmap straight from memory (the least any decoder
//     must do: produce every output pixel once);
//   - EZip also against zlib inflating the same stream on its own.
// After the usual table the program prints each decoder's time as a
// multiple of its baselines.

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "imgplug/edge_chain.h"
#include "imgplug/egd1_lzss.h"
#include "imgplug/egd_header.h"
#include "imgplug/ezip.h"
#include "imgplug/pixel_block.h"
#include "tools/edge_chain_encoder/edge_chain_encoder.h"
#include "tools/egd1_encoder/egd1_encoder.h"
#include "tools/ezip_encoder/ezip_encoder.h"
#include "tools/image/rgb_image.h"

namespace {

struct Fixture {
  image::RgbImage photo;
  imgplug::PixelBlockGeometry geometry;
  std::vector<uint8_t> edge_chain, egd1, ezip;
};

const Fixture& fixture() {
  static const Fixture f = [] {
    Fixture x;
    if (!image::read_ppm_file(std::string(HALVORY_SOURCE_DIR) + "/samples/photos/coffee.ppm",
                              &x.photo)) {
      std::fprintf(stderr, "decode_bench: samples/photos/coffee.ppm not found\n");
      std::exit(1);
    }
    if (!imgplug::pixel_block_geometry(x.photo.width, x.photo.height, &x.geometry)) std::exit(1);
    x.edge_chain = edge_chain::encode_edge_chain(x.photo);
    x.egd1 = imgenc::encode_egd1(x.photo);
    x.ezip = imgenc::encode_ezip(x.photo);
    return x;
  }();
  return f;
}

bytes::Span span(const std::vector<uint8_t>& v) { return {v.data(), v.size()}; }

void set_bytes(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(fixture().geometry.size));
}

void BM_Baseline_WriteBitmap(benchmark::State& state) {
  const Fixture& f = fixture();
  std::vector<uint8_t> to(f.geometry.size);
  const size_t width = static_cast<size_t>(f.photo.width);
  const size_t height = static_cast<size_t>(f.photo.height);
  for (auto _ : state) {
    for (size_t y = 0; y < height; ++y) {
      const uint8_t* src = &f.photo.rgb[y * width * 3];
      uint8_t* dst = &to[(height - 1 - y) * static_cast<size_t>(f.geometry.stride)];
      for (size_t x = 0; x < width; ++x, src += 3, dst += 3) {
        dst[0] = src[2];
        dst[1] = src[1];
        dst[2] = src[0];
      }
    }
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  set_bytes(state);
}

void BM_Baseline_ZlibInflate(benchmark::State& state) {
  const Fixture& f = fixture();
  const uint32_t l = bytes::load_le32(f.ezip.data() + 8);
  const uint32_t u = bytes::load_le32(f.ezip.data() + 12);
  std::vector<uint8_t> out(u);
  for (auto _ : state) {
    uLongf got = u;
    uncompress(out.data(), &got, f.ezip.data() + 20, l - 16);
    benchmark::DoNotOptimize(out.data());
  }
  set_bytes(state);
}

void BM_EdgeChain(benchmark::State& state) {
  const Fixture& f = fixture();
  std::vector<uint8_t> pixels(f.geometry.size);
  for (auto _ : state) {
    imgplug::edge_chain_decode(span(f.edge_chain), pixels.data(), pixels.size(),
                               f.geometry.stride, f.photo.height, nullptr, 0);
    benchmark::DoNotOptimize(pixels.data());
  }
  set_bytes(state);
}

void BM_Egd1(benchmark::State& state) {
  const Fixture& f = fixture();
  std::vector<uint8_t> pixels(f.geometry.size);
  for (auto _ : state) {
    imgplug::egd1_decode(span(f.egd1), pixels.data(), pixels.size(), f.geometry.stride);
    benchmark::DoNotOptimize(pixels.data());
  }
  set_bytes(state);
}

void BM_Ezip(benchmark::State& state) {
  const Fixture& f = fixture();
  std::vector<uint8_t> pixels(f.geometry.size);
  for (auto _ : state) {
    imgplug::EdibPicture pic;
    imgplug::ezip_inflate(span(f.ezip), &pic);
    imgplug::ezip_copy_rows(pic, pixels.data(), pixels.size(), f.geometry.stride);
    imgplug::ezip_release(&pic);
    benchmark::DoNotOptimize(pixels.data());
  }
  set_bytes(state);
}

BENCHMARK(BM_Baseline_WriteBitmap);
BENCHMARK(BM_Baseline_ZlibInflate);
BENCHMARK(BM_EdgeChain);
BENCHMARK(BM_Egd1);
BENCHMARK(BM_Ezip);

// Prints the usual table, then each decoder as a multiple of its baselines.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.iterations > 0) {
        time_[run.benchmark_name()] = run.GetAdjustedRealTime();
      }
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    const double copy = time_["BM_Baseline_WriteBitmap"];
    const double zlib = time_["BM_Baseline_ZlibInflate"];
    if (copy <= 0) return;
    std::printf("\nratios (same run; lower is better):\n");
    for (const char* name : {"BM_EdgeChain", "BM_Egd1", "BM_Ezip"}) {
      std::printf("  %-14s %8.1f x writing the bitmap", name, time_[name] / copy);
      if (std::strcmp(name, "BM_Ezip") == 0 && zlib > 0) {
        std::printf(", %5.2f x zlib inflating the stream alone", time_[name] / zlib);
      }
      std::printf("\n");
    }
  }

 private:
  std::map<std::string, double> time_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
