// Directory cache logic: the input is a program of insert, query and flush
// operations on archive paths, run against a DirectoryCache and against a
// plain model of it (16 slots in ring order, newest first, case-insensitive
// keys, paths of 260 characters or more not cached).
//
// Invariants: every query answers from the newest table inserted for its
// path (-1 when the model has none); a copy is the whole table, record
// searches find the model's first match; the next slot follows the ring; no
// table leaks once the cache is destroyed (LeakSanitizer), and nothing is
// written past a slot's path (ASan).
//
// Operation bytes: op % 4 = 0 insert, 1 copy query, 2 record query, 3 flush;
// each operation but flush reads a path, and inserts and record queries read
// one more byte.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "arcplug/directory_cache.h"
#include "arcplug/member_table.h"
#include "arcplug/platform.h"
#include "common/host_interface.h"
#include "fuzz/fuzz_check.h"

namespace {

class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool empty() const { return pos_ >= size_; }
  uint8_t next() { return pos_ < size_ ? data_[pos_++] : 0; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

// A path from the input. Most are one of a few short names, in either case,
// so that inserts collide and evict; some are long, around the slot's
// 260-byte limit; some are raw bytes.
std::string read_path(Input* in) {
  const uint8_t b = in->next();
  std::string path;
  if (b & 0x80) {
    const size_t length = in->next() % 24;
    for (size_t i = 0; i < length; ++i) {
      const char c = static_cast<char>(in->next());
      if (c == '\0') break;
      path += c;
    }
    return path;
  }
  char name[32];
  std::snprintf(name, sizeof name, "game/data%u.epk", b & 0x1Fu);
  path = name;
  if (b & 0x40) {
    // 255 to 262 characters: the longest that fits is 259.
    const size_t length = 255 + in->next() % 8;
    path = std::string(length - path.size(), 'd') + path;
  }
  if (b & 0x20) {
    for (char& c : path) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
  }
  return path;
}

bool same_key(const std::string& a, const std::string& b) {
  return arcplug::same_name(a.c_str(), b.c_str());
}

// Table number `id` with `members` records: filename "m<id>_<j>", position
// id * 16 + j, then the all-zero ending record.
arcplug::HostBlock make_table(uint32_t id, uint32_t members) {
  arcplug::HostBlock table = arcplug::host_block_alloc((members + 1) * sizeof(spi::fileInfo));
  FUZZ_CHECK(table != nullptr);
  auto* records = static_cast<spi::fileInfo*>(table);
  for (uint32_t j = 0; j < members; ++j) {
    std::memcpy(records[j].method, "pacf", 4);
    records[j].position = id * 16 + j;
    records[j].filesize = records[j].compsize = id;
    std::snprintf(records[j].filename, sizeof records[j].filename, "m%u_%u", id, j);
  }
  return table;
}

struct ModelSlot {
  bool used = false;
  std::string path;
  uint32_t id = 0;
  uint32_t members = 0;
};

struct Model {
  ModelSlot slots[arcplug::DirectoryCache::kSlots];
  int next = 0;

  const ModelSlot* find(const std::string& path) const {
    for (int step = 1; step <= arcplug::DirectoryCache::kSlots; ++step) {
      const ModelSlot& s = slots[(next - step + 16) % 16];
      if (!s.used) return nullptr;
      if (same_key(s.path, path)) return &s;
    }
    return nullptr;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  arcplug::DirectoryCache cache;
  Model model;
  uint32_t next_id = 1;

  for (int ops = 0; !in.empty() && ops < 4096; ++ops) {
    const uint8_t op = in.next();
    if (op % 4 == 3) {
      cache.flush();
      model = Model{};
      FUZZ_CHECK(cache.next_slot() == 0);
      continue;
    }
    const std::string path = read_path(&in);
    const ModelSlot* cached = model.find(path);

    if (op % 4 == 0) {
      const uint32_t id = next_id++;
      const uint32_t members = in.next() % 4;
      const bool fits = path.size() < arcplug::DirectoryCache::kPathCapacity;
      FUZZ_CHECK(cache.insert(path.c_str(), make_table(id, members)) == fits);
      if (fits) {
        model.slots[model.next] = {true, path, id, members};
        model.next = (model.next + 1) % 16;
      }
      FUZZ_CHECK(cache.next_slot() == model.next);
    } else if (op % 4 == 1) {
      arcplug::HostBlock copy = nullptr;
      arcplug::MemberRequest request;
      request.table_copy = &copy;
      const int32_t result = cache.query(path.c_str(), request);
      if (cached == nullptr) {
        FUZZ_CHECK(result == -1);
        continue;
      }
      FUZZ_CHECK(result == spi::kOk && copy != nullptr);
      arcplug::HostBlock expected = make_table(cached->id, cached->members);
      FUZZ_CHECK(arcplug::host_block_size(copy) == arcplug::host_block_size(expected));
      FUZZ_CHECK(std::memcmp(copy, expected, arcplug::host_block_size(copy)) == 0);
      arcplug::host_block_free(expected);
      arcplug::host_block_free(copy);
    } else {
      // A record asked for by position (low bit set) or by name, naming a
      // member of the cached table (id bits 0) or of table `id`, which may
      // or may not be the cached one.
      const uint8_t b = in.next();
      const uint32_t j = (b >> 1) & 3;
      const uint32_t id = (b >> 3) == 0 && cached != nullptr ? cached->id : b >> 3;
      spi::fileInfo record;
      std::memset(&record, 0, sizeof record);
      char name[32] = "";
      if ((b & 1) == 0) std::snprintf(name, sizeof name, (j & 1) ? "M%u_%u" : "m%u_%u", id, j);
      arcplug::MemberRequest request;
      request.name = name;
      request.position = id * 16 + j;
      request.record = &record;
      const int32_t result = cache.query(path.c_str(), request);
      if (cached == nullptr) {
        FUZZ_CHECK(result == -1);
        continue;
      }
      const bool present = cached->id == id && j < cached->members;
      FUZZ_CHECK(result == (present ? spi::kOk : spi::kUnsupported));
      if (present) {
        FUZZ_CHECK(record.position == id * 16 + j && record.filesize == id);
        FUZZ_CHECK(std::memcmp(record.method, "pacf", 5) == 0);
      }
    }
  }
  return 0;
}
