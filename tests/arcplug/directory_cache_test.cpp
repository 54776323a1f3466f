#include "arcplug/directory_cache.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace arcplug {
struct DirectoryCacheProbe {
  static CacheLock& lock(DirectoryCache* cache) { return cache->lock_; }
};
}  // namespace arcplug

namespace {

using arcplug::DirectoryCache;
using arcplug::HostBlock;
using arcplug::MemberRequest;

// A member table with one record per name, positions 100, 200, ...; `tag`
// goes into every record's timestamp so tests can tell tables apart.
HostBlock make_table(const std::vector<std::string>& names, uint32_t tag = 0) {
  HostBlock block = arcplug::host_block_alloc((names.size() + 1) * sizeof(spi::fileInfo));
  auto* records = static_cast<spi::fileInfo*>(block);
  for (size_t i = 0; i < names.size(); ++i) {
    std::memcpy(records[i].method, "pacf", 4);
    records[i].position = static_cast<uint32_t>(100 * (i + 1));
    records[i].filesize = static_cast<uint32_t>(i);
    records[i].timestamp = tag;
    std::strncpy(records[i].filename, names[i].c_str(), sizeof records[i].filename - 1);
  }
  return block;
}

MemberRequest by_name(const char* name, spi::fileInfo* out) {
  MemberRequest r;
  r.name = name;
  r.record = out;
  return r;
}

MemberRequest by_position(uint32_t position, spi::fileInfo* out) {
  MemberRequest r;
  r.position = position;
  r.record = out;
  return r;
}

std::string path_of(int i) { return "c:\\games\\archive" + std::to_string(i) + ".epk"; }

bool cached(DirectoryCache* cache, const std::string& path) {
  spi::fileInfo record = {};
  return cache->query(path.c_str(), by_position(100, &record)) != spi::kNotImplemented;
}

// Tables and extracted members come from one allocator, which refuses blocks
// no 32-bit host could hold instead of trying (and zero-filling) them.
TEST(HostBlocks, BlocksOfOneGibibyteOrMoreAreRefusedAtOnce) {
  EXPECT_EQ(arcplug::host_block_alloc(spi::kMaxHostBlockBytes), nullptr);
  EXPECT_EQ(arcplug::host_block_alloc(SIZE_MAX), nullptr);
  arcplug::HostBlock block = arcplug::host_block_alloc(428);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(arcplug::host_block_size(block), 428u);
  arcplug::host_block_free(block);
}

TEST(DirectoryCache, SeventeenInsertsEvictTheFirst) {
  DirectoryCache cache;
  for (int i = 0; i < 17; ++i) EXPECT_TRUE(cache.insert(path_of(i).c_str(), make_table({"a"})));
  EXPECT_FALSE(cached(&cache, path_of(0)));
  for (int i = 1; i < 17; ++i) EXPECT_TRUE(cached(&cache, path_of(i))) << i;
  EXPECT_EQ(cache.next_slot(), 1);
}

TEST(DirectoryCache, PathsAndNamesMatchWithoutRegardToCase) {
  DirectoryCache cache;
  cache.insert("game\\data.epk", make_table({"title.egd", "Other.EGD"}));
  spi::fileInfo record = {};
  EXPECT_EQ(cache.query("GAME\\DATA.EPK", by_name("Title.EGD", &record)), spi::kOk);
  EXPECT_STREQ(record.filename, "title.egd");
  EXPECT_EQ(record.position, 100u);
  EXPECT_EQ(cache.query("game\\DATA.epk", by_name("other.egd", &record)), spi::kOk);
  EXPECT_EQ(record.position, 200u);
  // Records hold last components only.
  EXPECT_EQ(cache.query("game\\data.epk", by_name("bg/title.egd", &record)), spi::kUnsupported);
  EXPECT_EQ(cache.query("game\\data2.epk", by_name("title.egd", &record)), spi::kNotImplemented);
}

TEST(DirectoryCache, RecordRequestsByPosition) {
  DirectoryCache cache;
  cache.insert("x.epk", make_table({"one", "two", "three"}));
  spi::fileInfo record = {};
  EXPECT_EQ(cache.query("x.epk", by_position(300, &record)), spi::kOk);
  EXPECT_STREQ(record.filename, "three");
  // The whole record is copied over the request.
  EXPECT_EQ(std::memcmp(record.method, "pacf", 4), 0);
  EXPECT_EQ(record.filesize, 2u);
  // An empty name with a position that is no member's: 2 from the cache.
  EXPECT_EQ(cache.query("x.epk", by_position(150, &record)), spi::kUnsupported);
  // The ending record (position 0) is never a match.
  EXPECT_EQ(cache.query("x.epk", by_position(0, &record)), spi::kUnsupported);
}

TEST(DirectoryCache, CopyHasTheCachedBlocksSizeAndBytes) {
  DirectoryCache cache;
  HostBlock table = make_table({"a", "b"});
  const std::vector<uint8_t> expected(static_cast<uint8_t*>(table),
                                      static_cast<uint8_t*>(table) + 3 * sizeof(spi::fileInfo));
  cache.insert("t.epk", table);
  HostBlock copy = nullptr;
  MemberRequest request;
  request.table_copy = &copy;
  ASSERT_EQ(cache.query("T.EPK", request), spi::kOk);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, table);
  ASSERT_EQ(arcplug::host_block_size(copy), 3 * sizeof(spi::fileInfo));
  EXPECT_EQ(std::memcmp(copy, expected.data(), expected.size()), 0);
  arcplug::host_block_free(copy);
}

TEST(DirectoryCache, NewerTableForTheSamePathWins) {
  DirectoryCache cache;
  cache.insert("same.epk", make_table({"m"}, 1));
  cache.insert("other.epk", make_table({"m"}, 2));
  cache.insert("SAME.epk", make_table({"m"}, 3));
  spi::fileInfo record = {};
  ASSERT_EQ(cache.query("same.epk", by_name("m", &record)), spi::kOk);
  EXPECT_EQ(record.timestamp, 3u);
}

TEST(DirectoryCache, FlushEmptiesAllAndRestartsAtSlotZero) {
  DirectoryCache cache;
  for (int i = 0; i < 5; ++i) cache.insert(path_of(i).c_str(), make_table({"a"}));
  EXPECT_EQ(cache.next_slot(), 5);
  cache.flush();
  EXPECT_EQ(cache.next_slot(), 0);
  for (int i = 0; i < 5; ++i) EXPECT_FALSE(cached(&cache, path_of(i)));
  cache.insert(path_of(7).c_str(), make_table({"a"}));
  EXPECT_EQ(cache.next_slot(), 1);
  EXPECT_TRUE(cached(&cache, path_of(7)));
}

// A slot holds 259 characters; a longer path is not cached at all, so two
// archives whose paths share their first 259 characters never share a table.
TEST(DirectoryCache, PathsTooLongForASlotAreNotCached) {
  DirectoryCache cache;
  const std::string longest(259, 'p');
  EXPECT_TRUE(cache.insert(longest.c_str(), make_table({"a"})));
  EXPECT_TRUE(cached(&cache, longest));

  const std::string first = longest + "1.epk";
  const std::string second = longest + "2.epk";
  EXPECT_FALSE(cache.insert(first.c_str(), make_table({"a"})));
  EXPECT_FALSE(cached(&cache, first));
  EXPECT_FALSE(cached(&cache, second));
  EXPECT_FALSE(cache.insert(std::string(5000, 'q').c_str(), make_table({"a"})));
  EXPECT_EQ(cache.next_slot(), 1);
}

// A table without an ending record is searched only as far as its block goes.
TEST(DirectoryCache, RecordSearchStaysInsideTheTableBlock) {
  DirectoryCache cache;
  HostBlock block = arcplug::host_block_alloc(2 * sizeof(spi::fileInfo));
  auto* records = static_cast<spi::fileInfo*>(block);
  for (int i = 0; i < 2; ++i) std::memcpy(records[i].method, "pacf", 4);
  cache.insert("full.epk", block);
  spi::fileInfo record = {};
  EXPECT_EQ(cache.query("full.epk", by_name("absent", &record)), spi::kUnsupported);
}

TEST(DirectoryCache, DetachOnUnloadFlushes) {
  DirectoryCache cache;
  cache.insert("a.epk", make_table({"a"}));
  cache.detach(/*process_exiting=*/false);
  EXPECT_FALSE(cached(&cache, "a.epk"));
  EXPECT_EQ(cache.next_slot(), 0);
}

// At process exit a stopped thread may still own the lock: detaching must
// not wait for it, and the destructor must leave the tables alone (they may
// be inconsistent); the system reclaims them.
TEST(DirectoryCache, DetachAtProcessExitNeitherLocksNorFrees) {
  HostBlock table = make_table({"kept"});
  {
    DirectoryCache cache;
    cache.insert("a.epk", table);
    arcplug::CacheLock& lock = arcplug::DirectoryCacheProbe::lock(&cache);
    lock.lock();  // as if a thread had been stopped inside an operation
    std::atomic<bool> detached{false};
    std::thread exiting([&] {
      cache.detach(/*process_exiting=*/true);
      detached = true;
    });
    for (int i = 0; i < 200 && !detached; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const bool waited_for_lock = !detached;
    lock.unlock();
    exiting.join();
    EXPECT_FALSE(waited_for_lock);
  }
  EXPECT_STREQ(static_cast<spi::fileInfo*>(table)->filename, "kept");  // still allocated
  arcplug::host_block_free(table);
}

// Several threads insert and query 40 paths at once; every answer must be
// the table of the path asked for (each table names its own path).
TEST(DirectoryCache, ConcurrentInsertsAndQueriesAnswerFromTheRightTable) {
  DirectoryCache cache;
  constexpr int kThreads = 6;
  constexpr int kPaths = 40;
  constexpr int kRounds = 1500;
  std::atomic<int> wrong{0};
  std::atomic<int> hits{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < kRounds; ++round) {
        const int id = (round * 7 + t * 13) % kPaths;
        const std::string path = path_of(id);
        spi::fileInfo record = {};
        const int32_t result = cache.query(path.c_str(), by_name("member", &record));
        if (result == spi::kNotImplemented) {
          cache.insert(path.c_str(), make_table({"member"}, static_cast<uint32_t>(id)));
        } else if (result != spi::kOk || record.timestamp != static_cast<uint32_t>(id)) {
          ++wrong;
        } else {
          ++hits;
        }
        if (round % 97 == 0) {
          HostBlock copy = nullptr;
          MemberRequest request;
          request.table_copy = &copy;
          if (cache.query(path.c_str(), request) == spi::kOk) {
            if (static_cast<spi::fileInfo*>(copy)->timestamp != static_cast<uint32_t>(id)) ++wrong;
            arcplug::host_block_free(copy);
          }
        }
        if (t == 0 && round % 500 == 499) cache.flush();
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_GT(hits.load(), 0);
}

}  // namespace
