// make_fuzz_seeds: writes the seed corpora of the fuzz targets, small files
// made with our own encoders and writers from drawn pictures, so that every
// target starts from well-formed input of its format.
//
//   make_fuzz_seeds <corpus folder>      (writes <corpus folder>/<target>/*)
//
// The output is committed in fuzz/corpus/; rerun after a format change.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/edge_chain_encoder/edge_chain_encoder.h"
#include "tools/egd1_encoder/egd1_encoder.h"
#include "tools/epk_writer/epk_writer.h"
#include "tools/ezip_encoder/ezip_encoder.h"
#include "tools/image/rgb_image.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string g_root;
bool g_ok = true;

void put(const std::string& target, const std::string& name, const Bytes& data) {
  const std::string dir = g_root + "/" + target;
  std::filesystem::create_directories(dir);
  if (data.empty() || !image::write_file(dir + "/" + name, data)) {
    std::fprintf(stderr, "make_fuzz_seeds: cannot make %s/%s\n", target.c_str(), name.c_str());
    g_ok = false;
  }
}

Bytes with_option(Bytes data, uint8_t option) {
  data.push_back(option);
  return data;
}

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

void edge_chain_seeds() {
  const Bytes pattern = edge_chain::encode_edge_chain(image::make_pattern(8, 6));
  const Bytes row = edge_chain::encode_edge_chain(image::make_pattern(16, 2));
  const Bytes column = edge_chain::encode_edge_chain(image::make_pattern(1, 5));
  // A 2 x 2 picture: a run of 2 in blue with a one-step chain, then a red
  // pixel that overwrites the chain's pixel.
  const Bytes worked = edge_chain::make_edge_chain_file(
      2, 2, 2, {0x80, 0x00, 0x0F, 0xFA, 0x07, 0xF8, 0x00, 0x00});
  const Bytes empty = edge_chain::make_edge_chain_file(0, 3, 2, {});

  // The last byte chooses the harness options: bits 0-1 the progress
  // callback (none, counting, cancel at call bits 3-7, cancel at once),
  // bit 2 a block one byte short.
  put("edge_chain", "pattern_8x6", with_option(pattern, 0x00));
  put("edge_chain", "pattern_8x6_progress", with_option(pattern, 0x01));
  put("edge_chain", "pattern_8x6_cancel_at_5", with_option(pattern, 0x2A));
  put("edge_chain", "row_16x2_short_block", with_option(row, 0x04));
  put("edge_chain", "column_1x5", with_option(column, 0x01));
  put("edge_chain", "pattern_24x16",
      with_option(edge_chain::encode_edge_chain(image::make_pattern(24, 16)), 0x00));
  put("edge_chain", "worked_2x2", with_option(worked, 0x01));
  put("edge_chain", "no_commands", with_option(empty, 0x03));

  put("egd_header", "edge_chain_8x6", pattern);
  Bytes egd2 = worked;
  egd2[3] = '2';
  put("egd_header", "egd2_is_edge_chain", egd2);
}

void egd1_seeds() {
  const Bytes pattern = imgenc::encode_egd1(image::make_pattern(8, 6));
  const Bytes small = imgenc::encode_egd1(image::make_pattern(3, 2));
  // 1 x 1: a flag byte with four literal flags, then four literals.
  Bytes worked = text("EGD1");
  worked.resize(48, 0);
  worked[12] = 1;
  worked[14] = 1;
  worked[36] = 5;
  worked[40] = 4;
  worked.insert(worked.end(), {0x0F, 0x00, 0x11, 0x22, 0x33});

  put("egd1", "pattern_8x6", pattern);
  put("egd1", "pattern_3x2", small);
  put("egd1", "worked_1x1", worked);
  put("egd1", "pattern_24x16", imgenc::encode_egd1(image::make_pattern(24, 16)));
  put("egd_header", "egd1_8x6", pattern);
}

void ezip_seeds() {
  const Bytes pattern = imgenc::encode_ezip(image::make_pattern(8, 6));
  const Bytes tiny = imgenc::encode_ezip(image::make_pattern(2, 1));
  put("ezip", "pattern_8x6", pattern);
  put("ezip", "pattern_2x1", tiny);
  put("ezip", "pattern_24x16", imgenc::encode_ezip(image::make_pattern(24, 16)));
  put("egd_header", "ezip_8x6", pattern);
  Bytes not_ezip = tiny;
  not_ezip[7] = 'q';  // "EGD EZiq" is an edge-chain picture
  put("egd_header", "ezip_lookalike", not_ezip);
}

void epk_seeds() {
  put("epk_index", "one_member", write_epk({{"a/b.x", text("xyz")}}));
  put("epk_index", "names",
      write_epk({{"data/bg/title.egd", text("title")},
                 {"a/x.egd", text("ax")},
                 {"b/x.egd", text("bx")},
                 {"a\\b.egd", text("backslash")},
                 {"a/", {}},
                 {"readme.txt", text("read me")}}));
  put("epk_index", "no_members", write_epk({}));
  // Indexes that do not hold together: a name offset past the index, and
  // a count larger than the index can hold.
  put("epk_index", "name_outside", write_epk_raw(48, 1, {{200, 48, 0}}, {'n', 'a', 'm', 'e', 0}));
  put("epk_index", "count_too_large",
      write_epk_raw(40, 3, {{32, 40, 0}}, {'a', '.', 'b', 0, 0, 0, 0, 0}));
}

void directory_cache_seeds() {
  // Programs of operations: 0 insert (path, member count), 1 copy query
  // (path), 2 record query (path, selector), 3 flush. Path bytes below 0x20
  // pick a short name, 0x20 adds upper case, 0x40 makes it long.
  put("directory_cache", "insert_query",
      {0, 1, 2, 1, 1, 2, 1, 0x08, 2, 1, 0x03, 1, 0x21, 2, 2, 0});
  Bytes evict;
  for (uint8_t i = 0; i < 17; ++i) {
    evict.push_back(0);
    evict.push_back(i);
    evict.push_back(1);
  }
  evict.insert(evict.end(), {1, 0, 1, 1, 1, 16, 3, 1, 1, 0, 5, 0});
  put("directory_cache", "evict_and_flush", evict);
  put("directory_cache", "long_paths", {0, 0x43, 3, 1, 0, 0x44, 4, 2, 1, 0x44, 4, 1, 0x63, 3});
  put("directory_cache", "raw_paths", {0, 0x80, 3, 'a', 'B', 'c', 2, 1, 0x80, 3, 'A', 'b', 'C'});
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_fuzz_seeds <corpus folder>\n");
    return 2;
  }
  g_root = argv[1];
  edge_chain_seeds();
  egd1_seeds();
  ezip_seeds();
  epk_seeds();
  directory_cache_seeds();
  return g_ok ? 0 : 1;
}
