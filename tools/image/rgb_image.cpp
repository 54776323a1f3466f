#include "tools/image/rgb_image.h"

#include <cstdio>
#include <cstring>

namespace image {

RgbImage make_image(int32_t width, int32_t height) {
  RgbImage img;
  img.width = width;
  img.height = height;
  img.rgb.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 3, 0);
  return img;
}

namespace {

// Reads the next unsigned decimal header field of a PPM, skipping white space
// and comments. Returns false at the end of the data or on a bad number.
bool next_field(const uint8_t* data, size_t size, size_t* pos, uint32_t* value) {
  while (*pos < size) {
    if (data[*pos] == '#') {
      while (*pos < size && data[*pos] != '\n') ++*pos;
    } else if (data[*pos] == ' ' || data[*pos] == '\t' || data[*pos] == '\r' ||
               data[*pos] == '\n') {
      ++*pos;
    } else {
      break;
    }
  }
  uint64_t v = 0;
  size_t digits = 0;
  while (*pos < size && data[*pos] >= '0' && data[*pos] <= '9' && digits < 9) {
    v = v * 10 + (data[*pos] - '0');
    ++*pos;
    ++digits;
  }
  *value = static_cast<uint32_t>(v);
  return digits > 0;
}

}  // namespace

bool parse_ppm(const uint8_t* data, size_t size, RgbImage* out) {
  if (size < 2 || data[0] != 'P' || data[1] != '6') return false;
  size_t pos = 2;
  uint32_t w = 0, h = 0, maxval = 0;
  if (!next_field(data, size, &pos, &w) || !next_field(data, size, &pos, &h) ||
      !next_field(data, size, &pos, &maxval) || maxval != 255 || pos >= size) {
    return false;
  }
  ++pos;  // the single white-space byte before the pixels
  if (w > 65535 || h > 65535) return false;
  const uint64_t need = static_cast<uint64_t>(w) * h * 3;
  if (need > size - pos) return false;
  *out = make_image(static_cast<int32_t>(w), static_cast<int32_t>(h));
  if (need != 0) std::memcpy(out->rgb.data(), data + pos, static_cast<size_t>(need));
  return true;
}

std::vector<uint8_t> format_ppm(const RgbImage& img) {
  char header[64];
  const int n = std::snprintf(header, sizeof header, "P6\n%d %d\n255\n", img.width, img.height);
  std::vector<uint8_t> out(header, header + n);
  out.insert(out.end(), img.rgb.begin(), img.rgb.end());
  return out;
}

bool read_file(const std::string& path, std::vector<uint8_t>* out) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  out->clear();
  uint8_t chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) out->insert(out->end(), chunk, chunk + n);
  const bool ok = std::ferror(f) == 0;
  std::fclose(f);
  return ok;
}

bool write_file(const std::string& path, const std::vector<uint8_t>& data) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = data.empty() || std::fwrite(data.data(), 1, data.size(), f) == data.size();
  return std::fclose(f) == 0 && ok;
}

bool read_ppm_file(const std::string& path, RgbImage* out) {
  std::vector<uint8_t> data;
  return read_file(path, &data) && parse_ppm(data.data(), data.size(), out);
}

RgbImage make_pattern(int32_t width, int32_t height) {
  RgbImage img = make_image(width, height);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      uint32_t c;
      if (x + y < width / 2) {
        c = 0x2060A0;  // flat area: long runs
      } else if ((x - y) % 7 == 0) {
        c = 0xFFFFFF;  // diagonal lines: chains drifting sideways
      } else if (x % 5 == 0) {
        c = 0x000000;  // vertical lines: straight chains, black literals
      } else {
        c = static_cast<uint32_t>((x * 255 / (width > 1 ? width - 1 : 1)) << 16 |
                                  (y * 255 / (height > 1 ? height - 1 : 1)) << 8 | ((x ^ y) & 0xFF));
      }
      img.set(x, y, c);
    }
  }
  if (width > 2 && height > 2) img.set(width / 2, height / 2, 0xFF00FF);  // a lone pixel
  return img;
}

}  // namespace image
