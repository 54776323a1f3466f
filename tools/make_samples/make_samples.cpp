// make_samples: builds the bundled sample files from the photographs in
// samples/photos and a drawn picture, with our own encoders: one loose
// picture of each EGD variant and an EPK archive holding more.
//
//   make_samples <photos folder> <output folder>

#include <cstdio>
#include <string>
#include <vector>

#include "tools/edge_chain_encoder/edge_chain_encoder.h"
#include "tools/egd1_encoder/egd1_encoder.h"
#include "tools/epk_writer/epk_writer.h"
#include "tools/ezip_encoder/ezip_encoder.h"
#include "tools/image/rgb_image.h"

namespace {

bool write(const std::string& path, const std::vector<uint8_t>& data) {
  if (image::write_file(path, data)) return true;
  std::fprintf(stderr, "make_samples: cannot write %s\n", path.c_str());
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_samples <photos folder> <output folder>\n");
    return 2;
  }
  const std::string photos = argv[1];
  const std::string out = argv[2];

  image::RgbImage coffee, astronaut;
  if (!image::read_ppm_file(photos + "/coffee.ppm", &coffee) ||
      !image::read_ppm_file(photos + "/astronaut.ppm", &astronaut)) {
    std::fprintf(stderr, "make_samples: cannot read the photographs in %s\n", photos.c_str());
    return 1;
  }
  const image::RgbImage pattern = image::make_pattern(97, 61);

  const std::string note = "Sample archive of the Halvory plug-ins: three pictures, one of each EGD variant.\n";
  const std::vector<EpkMember> members = {
      {"cg/coffee.egd", imgenc::encode_ezip(coffee)},
      {"cg/astronaut.egd", edge_chain::encode_edge_chain(astronaut)},
      {"ui/pattern.egd", imgenc::encode_egd1(pattern)},
      {"readme.txt", std::vector<uint8_t>(note.begin(), note.end())},
  };

  const bool ok = write(out + "/coffee-edgechain.egd", edge_chain::encode_edge_chain(coffee)) &&
                  write(out + "/astronaut-egd1.egd", imgenc::encode_egd1(astronaut)) &&
                  write(out + "/pattern-ezip.egd", imgenc::encode_ezip(pattern)) &&
                  write(out + "/halvory.epk", write_epk(members));
  return ok ? 0 : 1;
}
