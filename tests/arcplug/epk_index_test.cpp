#include "arcplug/epk_index.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tools/epk_writer/epk_writer.h"

namespace {

using arcplug::IndexStatus;

struct Parsed {
  IndexStatus status = IndexStatus::kBroken;
  size_t table_bytes = 0;
  std::vector<spi::fileInfo> records;  // exactly the table's records
};

// What the back end does with an archive image starting at `offset` of
// `file`: header, count check, index inside the file, records. The index is
// copied into a buffer of exactly S bytes so that any read past it faults
// under AddressSanitizer.
Parsed parse(const std::vector<uint8_t>& file, size_t offset = 0) {
  Parsed p;
  if (file.size() < offset + arcplug::kEpkHeaderSize) return p;
  const arcplug::EpkHeader header = arcplug::read_epk_header(file.data() + offset);
  uint32_t count = 0;
  if (arcplug::checked_member_count(header, &count) != IndexStatus::kOk) return p;
  EXPECT_TRUE(bytes::range_fits(offset, header.index_size, file.size()));
  const std::vector<uint8_t> index(file.begin() + static_cast<ptrdiff_t>(offset),
                                   file.begin() + static_cast<ptrdiff_t>(offset + header.index_size));
  EXPECT_TRUE(arcplug::member_table_bytes(count, &p.table_bytes));
  p.records.resize(count + 1);
  p.status = arcplug::fill_member_table({index.data(), index.size()}, count, p.records.data());
  return p;
}

bool all_zero(const spi::fileInfo& r) {
  const auto* b = reinterpret_cast<const uint8_t*>(&r);
  for (size_t i = 0; i < sizeof r; ++i) {
    if (b[i] != 0) return false;
  }
  return true;
}

std::string last_name(const spi::fileInfo& r) { return std::string(r.filename); }

TEST(EpkIndex, WorkedArchiveGivesOneRecordAndTheEndingRecord) {
  const std::vector<uint8_t> file = {
      0x45, 0x50, 0x4B, 0x20, 0x26, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x20, 0x00, 0x00, 0x00, 0x26, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x61, 0x2F, 0x62, 0x2E, 0x78, 0x00, 0x78, 0x79, 0x7A};
  ASSERT_EQ(file.size(), 41u);
  EXPECT_TRUE(arcplug::has_epk_magic(file.data()));
  const Parsed p = parse(file);
  ASSERT_EQ(p.status, IndexStatus::kOk);
  EXPECT_EQ(p.table_bytes, 856u);
  ASSERT_EQ(p.records.size(), 2u);
  const spi::fileInfo& r = p.records[0];
  EXPECT_EQ(std::memcmp(r.method, "pacf\0\0\0\0", 8), 0);
  EXPECT_EQ(r.position, 38u);
  EXPECT_EQ(r.compsize, 3u);
  EXPECT_EQ(r.filesize, 3u);
  EXPECT_EQ(r.timestamp, 0u);
  EXPECT_EQ(r.crc, 0u);
  for (char c : r.path) EXPECT_EQ(c, 0);
  EXPECT_EQ(last_name(r), "b.x");
  EXPECT_TRUE(all_zero(p.records[1]));
  EXPECT_EQ(std::vector<uint8_t>(file.begin() + r.position, file.begin() + r.position + r.filesize),
            (std::vector<uint8_t>{0x78, 0x79, 0x7A}));
}

TEST(EpkIndex, MagicIsComparedLikeStrncmpOverFourCharacters) {
  const uint8_t good[] = {'E', 'P', 'K', ' ', 0};
  const uint8_t lower[] = {'e', 'p', 'k', ' ', 0};
  const uint8_t short_nul[] = {'E', 'P', 0, 0, 0};
  EXPECT_TRUE(arcplug::has_epk_magic(good));
  EXPECT_FALSE(arcplug::has_epk_magic(lower));
  EXPECT_FALSE(arcplug::has_epk_magic(short_nul));
}

TEST(EpkIndex, NoEntriesGiveOneAllZeroRecord) {
  const Parsed p = parse(write_epk({}));
  ASSERT_EQ(p.status, IndexStatus::kOk);
  EXPECT_EQ(p.table_bytes, 428u);
  ASSERT_EQ(p.records.size(), 1u);
  EXPECT_TRUE(all_zero(p.records[0]));
}

TEST(EpkIndex, RecordsHoldLastNameComponentsOnly) {
  const std::vector<EpkMember> members = {
      {"data/bg/title.egd", {1, 2}}, {"a/", {3}},     {"a\\b.egd", {4, 5, 6}},
      {"a/x.egd", {7}},              {"b/x.egd", {8}}, {"plain", {}},
  };
  const std::vector<uint8_t> file = write_epk(members);
  const Parsed p = parse(file);
  ASSERT_EQ(p.status, IndexStatus::kOk);
  ASSERT_EQ(p.records.size(), members.size() + 1);
  const char* expected[] = {"title.egd", "", "a\\b.egd", "x.egd", "x.egd", "plain"};
  for (size_t i = 0; i < members.size(); ++i) {
    SCOPED_TRACE(members[i].name);
    const spi::fileInfo& r = p.records[i];
    EXPECT_EQ(last_name(r), expected[i]);
    EXPECT_EQ(r.path[0], 0);
    ASSERT_EQ(r.filesize, members[i].data.size());
    EXPECT_EQ(std::vector<uint8_t>(file.begin() + r.position, file.begin() + r.position + r.filesize),
              members[i].data);
  }
  // Duplicate last names stay two records, told apart by position.
  EXPECT_NE(p.records[3].position, p.records[4].position);
  EXPECT_TRUE(all_zero(p.records.back()));
}

TEST(EpkIndex, ArchiveAtOffset1000KeepsFilePositions) {
  const std::vector<EpkMember> members = {{"pics/one.egd", {9, 8, 7}}, {"two.egd", {6, 5}}};
  const std::vector<uint8_t> file = embed_epk(members, 1000, 64);
  const Parsed p = parse(file, 1000);
  ASSERT_EQ(p.status, IndexStatus::kOk);
  for (size_t i = 0; i < members.size(); ++i) {
    const spi::fileInfo& r = p.records[i];
    EXPECT_GT(r.position, 1000u);
    EXPECT_EQ(std::vector<uint8_t>(file.begin() + r.position, file.begin() + r.position + r.filesize),
              members[i].data);
  }
  EXPECT_FALSE(arcplug::has_epk_magic(file.data()));
}

TEST(EpkIndex, LastComponentOf199BytesFits) {
  const std::string name = "dir/" + std::string(199, 'n');
  const Parsed p = parse(write_epk({{name, {1}}}));
  ASSERT_EQ(p.status, IndexStatus::kOk);
  EXPECT_EQ(last_name(p.records[0]), std::string(199, 'n'));
}

// Every way an index can fail to hold together gives kBroken, with nothing
// read outside the S-byte index or written outside the records.
TEST(EpkIndex, IndexesThatDoNotHoldTogetherAreBroken) {
  const std::vector<uint8_t> name = {'a', 0};
  struct Case {
    const char* what;
    std::vector<uint8_t> file;
  };
  const std::vector<Case> cases = {
      {"S smaller than the header", write_epk_raw(12, 0, {}, {0, 0, 0, 0})},
      {"N negative", write_epk_raw(34, -1, {{32, 34, 0}}, name)},
      {"N most negative", write_epk_raw(34, INT32_MIN, {{32, 34, 0}}, name)},
      {"entries past S", write_epk_raw(34, 2, {{32, 34, 0}}, name)},
      {"N whose table size overflows", write_epk_raw(34, INT32_MAX, {{32, 34, 0}}, name)},
      {"name offset at S", write_epk_raw(34, 1, {{34, 34, 0}}, name)},
      {"name offset far outside", write_epk_raw(34, 1, {{0xFFFFFFF0u, 34, 0}}, name)},
      {"name without NUL", write_epk_raw(34, 1, {{32, 34, 0}}, {'a', 'b'})},
      {"last component of 200 bytes",
       write_epk({{"d/" + std::string(200, 'x'), {1}}})},
      {"whole name of 300 bytes", write_epk({{std::string(300, 'y'), {}}})},
      {"second entry broken", write_epk_raw(50, 2, {{48, 50, 0}, {51, 50, 0}}, name)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(parse(c.file).status, IndexStatus::kBroken);
  }
}

TEST(EpkIndex, MemberCountIsBoundedByTheIndexSize) {
  uint32_t count = 99;
  EXPECT_EQ(arcplug::checked_member_count({16, 0}, &count), IndexStatus::kOk);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(arcplug::checked_member_count({47, 1}, &count), IndexStatus::kOk);
  EXPECT_EQ(arcplug::checked_member_count({47, 2}, &count), IndexStatus::kBroken);
  EXPECT_EQ(arcplug::checked_member_count({0xFFFFFFFFu, INT32_MAX}, &count), IndexStatus::kBroken);
  EXPECT_EQ(arcplug::checked_member_count({0xFFFFFFFFu, 0x0FFFFFFE}, &count), IndexStatus::kOk);
  size_t bytes = 0;
  ASSERT_TRUE(arcplug::member_table_bytes(count, &bytes));
  EXPECT_EQ(bytes, (size_t{count} + 1) * 428);
}

}  // namespace
