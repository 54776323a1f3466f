#include "common/host_interface.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

const char* const kTable[4] = {"00IN", "Name", "*.egd", "Type"};

TEST(HostInterface, InfoStringsAreCutToTheBufferWithTheirNul) {
  char buf[8];
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(spi::copy_info_string(kTable, 2, buf, 3), 2);
  EXPECT_STREQ(buf, "*.");
  EXPECT_EQ(buf[3], 'x');
  EXPECT_EQ(spi::copy_info_string(kTable, 0, buf, 8), 4);
  EXPECT_STREQ(buf, "00IN");
  EXPECT_EQ(spi::copy_info_string(kTable, 0, buf, 1), 0);
  EXPECT_EQ(buf[0], '\0');
}

TEST(HostInterface, OtherIndexesLeaveTheBufferAlone) {
  char buf[8];
  for (int32_t index : {-1, 4, 1000}) {
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(spi::copy_info_string(kTable, index, buf, 8), 0);
    EXPECT_EQ(buf[0], 'x');
  }
}

TEST(HostInterface, FlagAndHandleConventions) {
  EXPECT_FALSE(spi::is_memory_input(0x100));
  EXPECT_TRUE(spi::is_memory_input(0x1));
  EXPECT_TRUE(spi::is_memory_input(0x4));
  EXPECT_TRUE(spi::is_memory_output(0x100));
  EXPECT_FALSE(spi::is_memory_output(0x1));
  EXPECT_TRUE(spi::is_file_handle(0x0000FFFF));
  EXPECT_FALSE(spi::is_file_handle(0x00010000));
}

}  // namespace
