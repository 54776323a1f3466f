// arcplug.spi driven through its exports as a viewer drives it: loaded with
// LoadLibrary, functions resolved by name, results in local-memory blocks
// that the host frees. Fixture archives are written at run time.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "common/bytes.h"
#include "tools/epk_writer/epk_writer.h"
#include "tools/spi_host/plugin_loader.h"

namespace {

constexpr uint32_t kToMemory = 0x100;
constexpr size_t kRecord = sizeof(spi::fileInfo);

spi_host::ArchivePlugin g_plugin;

// Every test uses files of its own, because the plug-in's cache keeps
// directories by path for the life of the loaded DLL.
std::string fixture_path(const std::string& name) { return "arcplug_fixtures\\" + name; }

std::string write_fixture(const std::string& name, const std::vector<uint8_t>& bytes) {
  CreateDirectoryA("arcplug_fixtures", nullptr);
  const std::string path = fixture_path(name);
  FILE* f = std::fopen(path.c_str(), "wb");
  EXPECT_NE(f, nullptr) << path;
  if (f != nullptr) {
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  return path;
}

// Data position of entry `i` as the archive's index states it.
uint32_t position_of(const std::vector<uint8_t>& file, size_t i, size_t offset = 0) {
  return bytes::load_le32(file.data() + offset + 16 + 16 * i + 4);
}

std::vector<uint8_t> block_bytes(HLOCAL block) {
  const auto* p = static_cast<const uint8_t*>(block);
  return std::vector<uint8_t>(p, p + LocalSize(block));
}

struct Listing {
  int32_t result = -99;
  std::vector<spi::fileInfo> records;  // including the ending record
  size_t block_size = 0;
};

Listing list(const std::string& path, int32_t offset = 0) {
  Listing l;
  HLOCAL table = reinterpret_cast<HLOCAL>(1);
  l.result = g_plugin.GetArchiveInfo(path.c_str(), offset, 0, &table);
  if (l.result != spi::kOk) {
    EXPECT_EQ(table, nullptr);
    return l;
  }
  l.block_size = LocalSize(table);
  const auto* records = static_cast<const spi::fileInfo*>(table);
  l.records.assign(records, records + l.block_size / kRecord);
  EXPECT_EQ(LocalHandle(table), table);  // a fixed block: handle and address agree
  EXPECT_EQ(LocalFree(table), nullptr);
  return l;
}

struct Extracted {
  int32_t result = -99;
  std::vector<uint8_t> bytes;
};

Extracted extract(const std::string& path, uint32_t position, uint32_t flag = kToMemory) {
  Extracted e;
  HLOCAL block = nullptr;
  e.result = g_plugin.GetFile(path.c_str(), static_cast<int32_t>(position),
                              reinterpret_cast<LPSTR>(&block), flag, nullptr, 0);
  if (e.result == spi::kOk) {
    EXPECT_NE(block, nullptr);
    e.bytes = block_bytes(block);
    EXPECT_EQ(LocalFree(block), nullptr);
  }
  return e;
}

class ArcplugTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(spi_host::load_archive_plugin("arcplug.spi", &g_plugin)); }
  static void TearDownTestSuite() { spi_host::unload(&g_plugin); }
};

const std::vector<EpkMember> kGameMembers = {
    {"data/bg/title.egd", {1, 2, 3, 4}},
    {"data/bg/x.egd", {5, 6}},
    {"data/fg/x.egd", {7, 8, 9}},
    {"readme", {}},
};

TEST_F(ArcplugTest, PluginInfoStrings) {
  char buf[128];
  const char* expected[] = {"00AM", "Halvory EPK Plug-in (halvory-plugins project)", "*.epk",
                            "Halvory EPK"};
  for (int32_t i = 0; i < 4; ++i) {
    EXPECT_EQ(g_plugin.GetPluginInfo(i, buf, sizeof buf), static_cast<int32_t>(strlen(expected[i])));
    EXPECT_STREQ(buf, expected[i]);
  }
  char small[8];
  std::memset(small, 'Z', sizeof small);
  EXPECT_EQ(g_plugin.GetPluginInfo(1, small, sizeof small), 7);
  EXPECT_STREQ(small, "Halvory");
  std::strcpy(buf, "untouched");
  EXPECT_EQ(g_plugin.GetPluginInfo(4, buf, sizeof buf), 0);
  EXPECT_STREQ(buf, "untouched");
}

TEST_F(ArcplugTest, IsSupportedByBytesAndByHandle) {
  const std::vector<uint8_t> archive = write_epk(kGameMembers);
  char head[2048] = {};
  std::memcpy(head, archive.data(), 16);
  EXPECT_EQ(g_plugin.IsSupported("x.epk", reinterpret_cast<spi::HandleOrPointer>(head)), 1);
  std::memcpy(head, "EGD1", 4);
  EXPECT_EQ(g_plugin.IsSupported("x.epk", reinterpret_cast<spi::HandleOrPointer>(head)), 0);

  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    int32_t expected;
  };
  const Case cases[] = {
      {"is_supported.epk", archive, 1},
      {"three_bytes.epk", {'E', 'P', 'K'}, 0},
      {"four_bytes.epk", {'E', 'P', 'K', ' '}, 1},
      {"not_epk.epk", {'E', 'P', 'X', ' ', 0, 0, 0, 0}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = write_fixture(c.name, c.bytes);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const auto dw = reinterpret_cast<spi::HandleOrPointer>(file);
    ASSERT_TRUE(spi::is_file_handle(dw)) << "handle value too large for the convention";
    EXPECT_EQ(g_plugin.IsSupported(path.c_str(), dw), c.expected);
    CloseHandle(file);
  }
}

TEST_F(ArcplugTest, WorkedArchiveListsAndExtracts) {
  const std::vector<uint8_t> file = {
      0x45, 0x50, 0x4B, 0x20, 0x26, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x20, 0x00, 0x00, 0x00, 0x26, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x61, 0x2F, 0x62, 0x2E, 0x78, 0x00, 0x78, 0x79, 0x7A};
  const std::string path = write_fixture("worked.epk", file);
  const Listing l = list(path);
  ASSERT_EQ(l.result, spi::kOk);
  EXPECT_EQ(l.block_size, 856u);
  EXPECT_EQ(std::memcmp(l.records[0].method, "pacf\0\0\0\0", 8), 0);
  EXPECT_EQ(l.records[0].position, 38u);
  EXPECT_EQ(l.records[0].filesize, 3u);
  EXPECT_STREQ(l.records[0].filename, "b.x");
  EXPECT_EQ(l.records[1].method[0], 0);
  const Extracted e = extract(path, 38);
  ASSERT_EQ(e.result, spi::kOk);
  EXPECT_EQ(e.bytes, (std::vector<uint8_t>{0x78, 0x79, 0x7A}));

  const Listing empty = list(write_fixture("empty.epk", write_epk({})));
  ASSERT_EQ(empty.result, spi::kOk);
  EXPECT_EQ(empty.block_size, 428u);
}

TEST_F(ArcplugTest, ArchiveInfoCopiesAreSeparateFixedBlocks) {
  const std::string path = write_fixture("copies.epk", write_epk(kGameMembers));
  HLOCAL first = nullptr;
  HLOCAL second = nullptr;
  ASSERT_EQ(g_plugin.GetArchiveInfo(path.c_str(), 0, 0, &first), spi::kOk);   // read
  ASSERT_EQ(g_plugin.GetArchiveInfo(path.c_str(), 0, 0, &second), spi::kOk);  // cached
  ASSERT_NE(first, second);
  EXPECT_EQ(LocalSize(first), 5 * kRecord);
  EXPECT_EQ(block_bytes(first), block_bytes(second));
  EXPECT_EQ(LocalFree(first), nullptr);
  // The cache's own table is untouched by freeing a copy.
  const Listing again = list(path);
  ASSERT_EQ(again.result, spi::kOk);
  EXPECT_STREQ(again.records[2].filename, "x.egd");
  EXPECT_EQ(LocalFree(second), nullptr);

  HLOCAL h = reinterpret_cast<HLOCAL>(1);
  EXPECT_EQ(g_plugin.GetArchiveInfo(path.c_str(), 0, 1, &h), spi::kNotImplemented);
  EXPECT_EQ(list(fixture_path("does_not_exist.epk")).result, spi::kFileError);
  EXPECT_EQ(list(write_fixture("short.epk", {'E', 'P', 'K', ' ', 1})).result, spi::kUnsupported);
  EXPECT_EQ(list(write_fixture("other.egd", std::vector<uint8_t>(64, 'E'))).result,
            spi::kUnsupported);
}

TEST_F(ArcplugTest, FileInfoByNameWithoutCaseAndByPosition) {
  const std::vector<uint8_t> file = write_epk(kGameMembers);
  const std::string path = write_fixture("fileinfo.epk", file);
  spi::fileInfo info = {};
  // A name that is not there: -1 on the call that reads the directory, 2 later.
  EXPECT_EQ(g_plugin.GetFileInfo(path.c_str(), 0, "bg/title.egd", 0, &info), spi::kNotImplemented);
  EXPECT_EQ(g_plugin.GetFileInfo(path.c_str(), 0, "bg/title.egd", 0, &info), spi::kUnsupported);

  info = {};
  ASSERT_EQ(g_plugin.GetFileInfo(path.c_str(), 0, "TITLE.Egd", 0, &info), spi::kOk);
  EXPECT_STREQ(info.filename, "title.egd");
  EXPECT_EQ(info.position, position_of(file, 0));
  EXPECT_EQ(info.filesize, 4u);

  // Duplicate last names: the first record wins by name, position tells them apart.
  ASSERT_EQ(g_plugin.GetFileInfo(path.c_str(), 0, "x.egd", 0, &info), spi::kOk);
  EXPECT_EQ(info.position, position_of(file, 1));
  info = {};
  info.position = position_of(file, 2);
  ASSERT_EQ(g_plugin.GetFileInfo(path.c_str(), 0, "", 0, &info), spi::kOk);
  EXPECT_STREQ(info.filename, "x.egd");
  EXPECT_EQ(info.filesize, 3u);

  EXPECT_EQ(g_plugin.GetFileInfo(path.c_str(), 0, "x.egd", 7, &info), spi::kNotImplemented);
}

TEST_F(ArcplugTest, GetFileExtractsToMemoryOnly) {
  const std::vector<uint8_t> file = write_epk(kGameMembers);
  const std::string path = write_fixture("getfile.epk", file);
  // A position that is no member: -1 when the directory is read, 2 from the cache.
  EXPECT_EQ(extract(path, 12345).result, spi::kNotImplemented);
  EXPECT_EQ(extract(path, 12345).result, spi::kUnsupported);
  for (size_t i = 0; i < kGameMembers.size(); ++i) {
    SCOPED_TRACE(kGameMembers[i].name);
    const Extracted e = extract(path, position_of(file, i));
    ASSERT_EQ(e.result, spi::kOk);
    EXPECT_EQ(e.bytes, kGameMembers[i].data);
  }
  const uint32_t title = position_of(file, 0);
  EXPECT_EQ(extract(path, title, 0).result, spi::kNotImplemented);
  EXPECT_EQ(extract(path, title, 0x101).result, spi::kNotImplemented);
  EXPECT_EQ(extract(path, title, 0x700).result, spi::kOk);
}

TEST_F(ArcplugTest, EmbeddedArchiveIsFoundOnceListedAtItsOffset) {
  const std::vector<EpkMember> members = {{"inner/pic.egd", {0xAA, 0xBB, 0xCC, 0xDD}}};
  const std::vector<uint8_t> file = embed_epk(members, 1000, 100);
  const std::string path = write_fixture("embedded.bin", file);
  const uint32_t position = position_of(file, 0, 1000);
  EXPECT_EQ(extract(path, position).result, spi::kUnsupported);  // offset 0 holds no "EPK "
  const Listing l = list(path, 1000);
  ASSERT_EQ(l.result, spi::kOk);
  EXPECT_EQ(l.records[0].position, position);
  const Extracted e = extract(path, position);
  ASSERT_EQ(e.result, spi::kOk);
  EXPECT_EQ(e.bytes, members[0].data);
  // The cache key is the path alone: a cached table answers at any offset.
  EXPECT_EQ(list(path, 0).result, spi::kOk);
  const std::string uncached = write_fixture("embedded2.bin", file);
  EXPECT_EQ(list(uncached, -5).result, spi::kFileError);
  // Past the end of the file: no 16-byte header there.
  EXPECT_EQ(list(uncached, 2000000).result, spi::kUnsupported);
}

TEST_F(ArcplugTest, ManyThreadsExtractFromManyArchives) {
  constexpr int kArchives = 24;
  constexpr int kMembers = 5;
  struct Archive {
    std::string path;
    std::vector<EpkMember> members;
    std::vector<uint32_t> positions;
  };
  std::vector<Archive> archives(kArchives);
  for (int a = 0; a < kArchives; ++a) {
    Archive& archive = archives[a];
    for (int m = 0; m < kMembers; ++m) {
      std::vector<uint8_t> data(static_cast<size_t>(50 + 37 * m + a));
      for (size_t k = 0; k < data.size(); ++k) data[k] = static_cast<uint8_t>(a * 31 + m * 7 + k);
      archive.members.push_back({"dir/m" + std::to_string(m), data});
    }
    const std::vector<uint8_t> file = write_epk(archive.members);
    archive.path = write_fixture("threads" + std::to_string(a) + ".epk", file);
    for (int m = 0; m < kMembers; ++m) archive.positions.push_back(position_of(file, m));
  }
  std::atomic<int> wrong{0};
  std::atomic<int> done{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 4; ++round) {
        for (int i = 0; i < kArchives * kMembers; ++i) {
          const int a = (i + t * 5 + round) % kArchives;
          const int m = (i / kArchives + t) % kMembers;
          const Extracted e = extract(archives[a].path, archives[a].positions[m]);
          if (e.result != spi::kOk || e.bytes != archives[a].members[m].data) ++wrong;
          ++done;
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(done.load(), 8 * 4 * kArchives * kMembers);
}

// Unloading flushes the cache: a reloaded plug-in reads the archive afresh
// (while loaded, a changed file is not noticed).
TEST_F(ArcplugTest, FreeLibraryFlushesAndReloadWorks) {
  const std::string path = write_fixture("reload.epk", write_epk({{"old.egd", {1}}}));
  ASSERT_EQ(list(path).result, spi::kOk);
  write_fixture("reload.epk", write_epk({{"new.egd", {2}}, {"more.egd", {3}}}));
  Listing l = list(path);
  ASSERT_EQ(l.result, spi::kOk);
  EXPECT_STREQ(l.records[0].filename, "old.egd");

  for (int i = 0; i < 3; ++i) {
    spi_host::unload(&g_plugin);
    EXPECT_EQ(GetModuleHandleA("arcplug.spi"), nullptr);
    ASSERT_TRUE(spi_host::load_archive_plugin("arcplug.spi", &g_plugin));
  }
  l = list(path);
  ASSERT_EQ(l.result, spi::kOk);
  ASSERT_EQ(l.records.size(), 3u);
  EXPECT_STREQ(l.records[0].filename, "new.egd");
}

// Bad input.

TEST_F(ArcplugTest, MemberDataPastTheEndOfTheFileReadsAsZero) {
  std::vector<uint8_t> file = write_epk({{"whole", {1, 2, 3}}, {"cut", {4, 5, 6, 7, 8, 9, 10, 11}}});
  file.resize(file.size() - 5);  // "cut" keeps 3 of its 8 bytes
  const std::string path = write_fixture("cut.epk", file);
  const Extracted e = extract(path, position_of(file, 1));
  ASSERT_EQ(e.result, spi::kOk);
  EXPECT_EQ(e.bytes, (std::vector<uint8_t>{4, 5, 6, 0, 0, 0, 0, 0}));

  const std::vector<uint8_t> name = {'f', 'a', 'r', 0, 'b', 'i', 'g', 0};
  const std::vector<uint8_t> beyond = write_epk_raw(
      56, 2, {{48, 5000, 300}, {52, 0x80000000u, 4}}, name);
  const std::string beyond_path = write_fixture("beyond.epk", beyond);
  // A member lying wholly past the end of the file.
  const Extracted outside = extract(beyond_path, 5000);
  ASSERT_EQ(outside.result, spi::kOk);
  EXPECT_EQ(outside.bytes, std::vector<uint8_t>(300, 0));
  // 2^31 and beyond cannot be reached with a signed 32-bit distance.
  EXPECT_EQ(extract(beyond_path, 0x80000000u).result, spi::kFileError);
}

TEST_F(ArcplugTest, LongRequestedNamesStayInsideTheRecord) {
  const std::string long_last(199, 'L');
  const std::vector<uint8_t> file = write_epk({{"d/" + long_last, {1}}, {"short", {2}}});
  const std::string path = write_fixture("longname.epk", file);
  struct Guarded {
    spi::fileInfo info;
    uint8_t guard[64];
  };
  for (size_t length : {199u, 200u, 201u, 1000u}) {
    SCOPED_TRACE(length);
    Guarded g;
    std::memset(&g, 0xCC, sizeof g);
    g.info.position = 0;
    const std::string name = long_last + std::string(length - 199, 'X');
    const int32_t result = g_plugin.GetFileInfo(path.c_str(), 0, name.c_str(), 0, &g.info);
    if (length == 199) {
      EXPECT_EQ(result, spi::kOk);
      EXPECT_EQ(g.info.position, position_of(file, 0));
    } else {
      // The name is cut in the record but never matches the member that
      // shares its first 199 characters.
      EXPECT_TRUE(result == spi::kNotImplemented || result == spi::kUnsupported) << result;
      EXPECT_EQ(g.info.filename[199], '\0');
      EXPECT_EQ(std::string(g.info.filename), long_last);
    }
    for (uint8_t b : g.guard) ASSERT_EQ(b, 0xCC);
  }
}

// Paths of 260 characters and more: each archive still gets its own table.
TEST_F(ArcplugTest, LongArchivePathsNeverShareATable) {
  write_fixture("long_one.epk", write_epk({{"one.egd", {1}}}));
  write_fixture("long_two.epk", write_epk({{"two.egd", {2}}}));
  std::string prefix = "arcplug_fixtures\\";
  while (prefix.size() < 300) prefix += "sub\\..\\";
  CreateDirectoryA("arcplug_fixtures\\sub", nullptr);
  const std::string one = prefix + "long_one.epk";
  const std::string two = prefix + "long_two.epk";
  ASSERT_EQ(one.compare(0, 300, two, 0, 300), 0);
  for (int round = 0; round < 2; ++round) {
    const Listing a = list(one);
    const Listing b = list(two);
    // Wine's narrow-character file functions refuse such paths (6); where the
    // system opens them, each archive must list its own member.
    if (a.result == spi::kOk) {
      EXPECT_STREQ(a.records[0].filename, "one.egd");
    }
    if (b.result == spi::kOk) {
      EXPECT_STREQ(b.records[0].filename, "two.egd");
    }
    EXPECT_TRUE(a.result == spi::kOk || a.result == spi::kFileError) << a.result;
    EXPECT_TRUE(b.result == spi::kOk || b.result == spi::kFileError) << b.result;
    spi::fileInfo info = {};
    const int32_t found = g_plugin.GetFileInfo(two.c_str(), 0, "one.egd", 0, &info);
    if (b.result == spi::kOk) {
      EXPECT_EQ(found, spi::kNotImplemented);  // not cached: read again each time
    }
  }
}

// Broken indexes give 2 and no table; an index larger than the file gives
// 6 before anything is allocated for it.
TEST_F(ArcplugTest, BrokenIndexesAreRefused) {
  const std::vector<uint8_t> name = {'a', 0};
  struct Case {
    const char* file;
    std::vector<uint8_t> bytes;
    int32_t expected;
  };
  const std::vector<Case> cases = {
      {"b_small_s.epk", write_epk_raw(12, 0, {}, {0, 0, 0, 0}), spi::kUnsupported},
      {"b_negative.epk", write_epk_raw(34, -1, {{32, 34, 0}}, name), spi::kUnsupported},
      {"b_too_many.epk", write_epk_raw(34, 2, {{32, 34, 0}}, name), spi::kUnsupported},
      {"b_overflow.epk", write_epk_raw(34, INT32_MAX, {{32, 34, 0}}, name), spi::kUnsupported},
      {"b_name_out.epk", write_epk_raw(34, 1, {{34, 34, 0}}, name), spi::kUnsupported},
      {"b_name_far.epk", write_epk_raw(34, 1, {{0xFFFFFFF0u, 34, 0}}, name), spi::kUnsupported},
      {"b_no_nul.epk", write_epk_raw(34, 1, {{32, 34, 0}}, {'a', 'b'}), spi::kUnsupported},
      {"b_long_last.epk", write_epk({{"d/" + std::string(200, 'x'), {1}}}), spi::kUnsupported},
      {"b_s_past_end.epk", write_epk_raw(0x7FFFFFF0u, 0x7FFFFFE, {{32, 34, 0}}, name),
       spi::kFileError},
      {"b_s_huge.epk", write_epk_raw(0xFFFFFFFFu, 0, {}, name), spi::kFileError},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string path = write_fixture(c.file, c.bytes);
    EXPECT_EQ(list(path).result, c.expected);
    spi::fileInfo info = {};
    EXPECT_EQ(g_plugin.GetFileInfo(path.c_str(), 0, "a", 0, &info), c.expected);
    EXPECT_EQ(extract(path, 34).result, c.expected);  // never cached
  }
}

// At process exit other threads are stopped wherever they are, perhaps
// inside the cache's lock, and the DLL is detached with a non-null
// lpvReserved. The child keeps threads copying a large table under the lock
// and ends the process in the middle of that; it must end cleanly. (Wine lets
// lock waits through during shutdown, so a flush there would not hang here;
// the skipped lock and free are shown by the DirectoryCache unit tests.)
TEST_F(ArcplugTest, ProcessExitWithBusyThreadsEndsCleanly) {
  std::vector<EpkMember> members;
  for (int i = 0; i < 20000; ++i) members.push_back({std::to_string(i) + ".egd", {1}});
  const std::string path = write_fixture("exit_child.epk", write_epk(members));
  for (int run = 0; run < 3; ++run) {
    SCOPED_TRACE(run);
    std::string command = "arcplug_exit_child.exe " + path;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &process));
    const DWORD waited = WaitForSingleObject(process.hProcess, 30000);
    if (waited != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 99);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    ASSERT_EQ(waited, WAIT_OBJECT_0) << "the child hung at exit";
    EXPECT_EQ(code, 42u);
  }
}

}  // namespace
