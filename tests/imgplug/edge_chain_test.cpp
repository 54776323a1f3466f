#include "imgplug/edge_chain.h"

#include <gtest/gtest.h>

#include <chrono>
#include <utility>
#include <vector>

#include "tests/imgplug/decode_helpers.h"
#include "tools/edge_chain_encoder/edge_chain_encoder.h"

namespace {

using edge_chain::BitWriter;
using imgplug::DecodeStatus;
using imgplug_test::decode;
using imgplug_test::Decoded;

constexpr uint32_t kPainted = 0x200;

// Progress calls seen by the callback; it answers nonzero at call `cancel_at`.
struct ProgressLog {
  struct Call {
    int32_t num, denom, data;
    bool operator==(const Call&) const = default;
  };
  std::vector<Call> calls;
  int cancel_at = -1;
};
ProgressLog g_log;

int32_t SPI_STDCALL record_progress(int32_t num, int32_t denom, int32_t data) {
  g_log.calls.push_back({num, denom, data});
  return static_cast<int>(g_log.calls.size()) - 1 == g_log.cancel_at ? 1 : 0;
}

void reset_log(int cancel_at = -1) {
  g_log = {};
  g_log.cancel_at = cancel_at;
}

// One command: run length, literal or cache colour, optional chain.
struct Command {
  uint32_t length = 1;
  uint32_t colour = 0;  // a literal, or a cache index when from_cache
  bool from_cache = false;
  std::vector<int> chain;  // steps; empty = no chain
};

Command lit(uint32_t length, uint32_t colour, std::vector<int> chain = {}) {
  return Command{length, colour, false, std::move(chain)};
}
Command hit(uint32_t length, uint32_t index) { return Command{length, index, true, {}}; }

void put_command(BitWriter* out, const Command& c) {
  edge_chain::put_run_length(out, c.length);
  if (c.from_cache) {
    edge_chain::put_cache_hit(out, c.colour);
  } else {
    edge_chain::put_literal(out, c.colour);
  }
  out->put_bit(!c.chain.empty());
  if (!c.chain.empty()) {
    for (int dx : c.chain) edge_chain::put_step(out, dx);
    edge_chain::put_chain_end(out);
  }
}

std::vector<uint8_t> picture(int32_t w, int32_t h, const std::vector<Command>& commands) {
  BitWriter out;
  for (const Command& c : commands) put_command(&out, c);
  return edge_chain::make_edge_chain_file(static_cast<int32_t>(commands.size()), w, h,
                                          out.bytes());
}

bool all_zero(const Decoded& d) {
  for (uint8_t b : d.pixels) {
    if (b != 0) return false;
  }
  return true;
}

TEST(BitReader, ReadsMostSignificantBitFirstAcrossBytes) {
  const uint8_t data[] = {0xA5, 0x0F};
  imgplug::BitReader in({data, 2}, 0);
  EXPECT_EQ(in.read(1), 1u);
  EXPECT_EQ(in.read(3), 0b010u);
  EXPECT_EQ(in.read(0), 0u);
  EXPECT_EQ(in.mask(), 0x08);
  EXPECT_EQ(in.read(8), 0x50u);
  EXPECT_EQ(in.byte_pos(), 1u);
  EXPECT_EQ(in.read(4), 0xFu);
  EXPECT_EQ(in.byte_pos(), 2u);
  EXPECT_EQ(in.mask(), 0x80);
  EXPECT_FALSE(in.overrun());
}

TEST(BitReader, BitsPastTheEndReadAsZeroAndAreReported) {
  const uint8_t data[] = {0xFF, 0xFF, 0xFF, 0xFF, 0x81};
  imgplug::BitReader in({data, 5}, 1);
  EXPECT_EQ(in.read(32), 0xFFFFFF81u);
  EXPECT_FALSE(in.overrun());
  EXPECT_EQ(in.read(3), 0u);
  EXPECT_TRUE(in.overrun());
  imgplug::BitReader past({data, 5}, 20);  // a start beyond a short file
  EXPECT_EQ(past.read(1), 0u);
  EXPECT_TRUE(past.overrun());
}

TEST(EdgeChain, WorkedTwoByTwoExample) {
  const std::vector<uint8_t> stream = {0x80, 0x00, 0x0F, 0xFA, 0x07, 0xF8, 0x00, 0x00};
  const Decoded d = decode(edge_chain::make_edge_chain_file(2, 2, 2, stream));
  EXPECT_EQ(d.status, DecodeStatus::kOk);
  EXPECT_EQ(d.stride, 8);
  const std::vector<uint8_t> want = {0x00, 0x02, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00,
                                     0xFF, 0x02, 0x00, 0xFF, 0x02, 0x00, 0x00, 0x00};
  EXPECT_EQ(d.pixels, want);
}

TEST(EdgeChain, BlackLiteralIsPaintedWithTheGreenMarkBit) {
  const Decoded d = decode(picture(1, 1, {lit(1, 0x000000)}));
  EXPECT_EQ(d.status, DecodeStatus::kOk);
  EXPECT_EQ(d.pixels, (std::vector<uint8_t>{0x00, 0x02, 0x00, 0x00}));
}

TEST(EdgeChain, RunsCrossRowsAndStopAtTheBottomRow) {
  const Decoded d = decode(picture(3, 2,
                                   {lit(2, 0x0A0000),
                                    lit(3, 0x0B0000),
                                    lit(5, 0x0C0000),  // (2,1) then past the bottom
                                    lit(1, 0x0D0000)}));
  EXPECT_EQ(d.status, DecodeStatus::kOk);
  const uint32_t want[2][3] = {{0x0A0200, 0x0A0200, 0x0B0200}, {0x0B0200, 0x0B0200, 0x0C0200}};
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) EXPECT_EQ(d.at(x, y), want[y][x]) << x << "," << y;
  }
}

TEST(EdgeChain, WidthOneMovesToTheNextRowOnEveryAdvance) {
  const Decoded d = decode(picture(1, 3, {lit(2, 0x111111),
                                          lit(1, 0x222222, {0})}));
  EXPECT_EQ(d.status, DecodeStatus::kOk);
  EXPECT_EQ(d.at(0, 0), 0x111111u | kPainted);
  EXPECT_EQ(d.at(0, 1), 0x111111u | kPainted);
  EXPECT_EQ(d.at(0, 2), 0x222222u | kPainted);
}

TEST(EdgeChain, EveryStepCodeMovesTheChainByItsOffset) {
  // Step codes written bit by bit, independent of the encoder's table.
  struct Case {
    uint32_t bits;
    int nbits;
    int dx;
  };
  const Case cases[] = {
      {0b01, 2, 0},       {0b10, 2, -1},      {0b11, 2, 1},           {0b0001, 4, -2},
      {0b0010, 4, 2},     {0b001100, 6, -3},  {0b001101, 6, 3},       {0b001110, 6, -4},
      {0b00111100, 8, 4}, {0b00111101, 8, -5}, {0b00111110, 8, 5},    {0b00111111, 8, 0},
  };
  for (const Case& c : cases) {
    BitWriter out;
    put_command(&out, lit(8, 0x010101));
    edge_chain::put_run_length(&out, 1);
    edge_chain::put_literal(&out, 0x123456);
    out.put_bit(true);
    out.put(c.bits, c.nbits);
    out.put(0, 4);  // end code 0 / 0
    const Decoded d = decode(edge_chain::make_edge_chain_file(2, 16, 2, out.bytes()));
    ASSERT_EQ(d.status, DecodeStatus::kOk);
    for (int x = 0; x < 16; ++x) {
      EXPECT_EQ(d.at(x, 1), x == 8 + c.dx ? 0x123456u | kPainted : 0u) << "dx " << c.dx;
    }
  }
}

TEST(EdgeChain, ChainsLeaveThePictureOnEitherSideAndComeBack) {
  const Decoded d = decode(picture(4, 3,
                                   {lit(3, 0x0000A1, {-1, 1}),
                                    lit(1, 0x0000A2, {1, -1})}));
  EXPECT_EQ(d.status, DecodeStatus::kOk);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(d.at(x, 1), 0u) << x;
  EXPECT_EQ(d.at(0, 2), 0x0000A1u | kPainted);
  EXPECT_EQ(d.at(3, 2), 0x0000A2u | kPainted);
  EXPECT_EQ(d.at(1, 2), 0u);
  EXPECT_EQ(d.at(2, 2), 0u);
}

TEST(EdgeChain, AChainGoingBelowThePictureKeepsTheStreamInStep) {
  const Decoded d = decode(picture(2, 2,
                                   {lit(1, 0x0000B1, {0, 0, 0, 0, 0, 0, 0, 0, 0, 5}),
                                    lit(3, 0x0000B2)}));
  EXPECT_EQ(d.status, DecodeStatus::kOk);
  EXPECT_EQ(d.at(0, 0), 0x0000B1u | kPainted);
  EXPECT_EQ(d.at(1, 0), 0x0000B2u | kPainted);
  // The run reaches the chain's pixel and carries its colour on.
  EXPECT_EQ(d.at(0, 1), 0x0000B1u | kPainted);
  EXPECT_EQ(d.at(1, 1), 0x0000B1u | kPainted);
}

TEST(EdgeChain, RunContinuesInTheColoursChainsPainted) {
  const uint32_t k = 0x00AA00, k2 = 0x00BB00, c = 0x00CC00;
  const Decoded d = decode(picture(8, 2,
                                   {lit(1, k, {2}),    // paints (2,1)
                                    lit(1, k2, {3}),   // paints (4,1)
                                    lit(6, 0x000011),
                                    lit(5, c)}));
  EXPECT_EQ(d.status, DecodeStatus::kOk);
  const uint32_t row1[8] = {c, c, k, k, k2, 0, 0, 0};
  for (int x = 0; x < 8; ++x) {
    EXPECT_EQ(d.at(x, 1), row1[x] == 0 ? 0u : row1[x] | kPainted) << x;
  }
}

TEST(EdgeChain, TheFirstPixelOverwritesAChainPixel) {
  const Decoded d = decode(picture(1, 2, {lit(1, 0x0000C1, {0}),
                                          lit(1, 0x0000C2)}));
  EXPECT_EQ(d.at(0, 1), 0x0000C2u | kPainted);
}

TEST(EdgeChain, CacheIsARingOf128Literals) {
  std::vector<Command> cmds;
  for (uint32_t i = 1; i <= 129; ++i) cmds.push_back(lit(1, i));
  cmds.push_back(hit(1, 0));  // the 129th literal
  cmds.push_back(hit(1, 1));  // still the 2nd
  const Decoded d = decode(picture(131, 1, cmds));
  EXPECT_EQ(d.status, DecodeStatus::kOk);
  EXPECT_EQ(d.at(128, 0), 129u | kPainted);
  EXPECT_EQ(d.at(129, 0), 129u | kPainted);
  EXPECT_EQ(d.at(130, 0), 2u | kPainted);
}

TEST(EdgeChain, AnUnfilledCacheEntryIsBlack) {
  const Decoded d = decode(picture(2, 1, {lit(1, 0x123456),
                                          hit(1, 7)}));
  EXPECT_EQ(d.at(1, 0), kPainted);
}

TEST(EdgeChain, NoCommandsGiveABlackPictureAndOneProgressCall) {
  reset_log();
  const Decoded d = decode(picture(2, 2, {}), record_progress, 77);
  EXPECT_EQ(d.status, DecodeStatus::kOk);
  EXPECT_TRUE(all_zero(d));
  EXPECT_EQ(g_log.calls, (std::vector<ProgressLog::Call>{{0, 0, 77}}));
}

std::vector<uint8_t> worked_example() {
  return edge_chain::make_edge_chain_file(
      2, 2, 2, {0x80, 0x00, 0x0F, 0xFA, 0x07, 0xF8, 0x00, 0x00});
}

TEST(EdgeChain, ProgressIsCalledNPlusOneTimesWithTheHostsData) {
  for (int32_t data : {0, -5, 0x7EADBEEF}) {
    reset_log();
    const Decoded d = decode(worked_example(), record_progress, data);
    EXPECT_EQ(d.status, DecodeStatus::kOk);
    EXPECT_EQ(g_log.calls,
              (std::vector<ProgressLog::Call>{{0, 2, data}, {1, 2, data}, {2, 2, data}}));
  }
}

TEST(EdgeChain, CancellingAtAnyCallStopsThere) {
  for (int at = 0; at <= 2; ++at) {
    reset_log(at);
    const Decoded d = decode(worked_example(), record_progress, 0);
    EXPECT_EQ(d.status, DecodeStatus::kCancelled) << at;
    EXPECT_EQ(g_log.calls.size(), static_cast<size_t>(at + 1));
    if (at == 0) {
      EXPECT_TRUE(all_zero(d));  // before any bit was read
    } else {
      EXPECT_EQ(d.at(1, 0), 0x0000FFu | kPainted);  // command 0 stays
    }
  }
}

TEST(EdgeChain, NullProgressIsAccepted) {
  EXPECT_EQ(decode(worked_example(), nullptr, 123).status, DecodeStatus::kOk);
}

// --- Streams that do not hold what the header announces ---

TEST(EdgeChainBadInput, StreamEndingEarlyKeepsWhatWasPaintedAndSucceeds) {
  BitWriter out;
  put_command(&out, lit(2, 0x0000D1));
  edge_chain::put_run_length(&out, 1);
  out.put_bit(false);
  out.put(0xABC, 12);  // half a literal, then the file ends
  reset_log();
  const Decoded d =
      decode(edge_chain::make_edge_chain_file(5, 2, 2, out.bytes()), record_progress, 9);
  EXPECT_EQ(d.status, DecodeStatus::kOk);
  EXPECT_EQ(d.at(0, 0), 0x0000D1u | kPainted);
  EXPECT_EQ(d.at(1, 0), 0x0000D1u | kPainted);
  EXPECT_EQ(d.at(0, 1), 0u);  // the cut command paints nothing
  ASSERT_EQ(g_log.calls.size(), 3u);
  EXPECT_EQ(g_log.calls.back(), (ProgressLog::Call{5, 5, 9}));
}

TEST(EdgeChainBadInput, HugeCommandCountIsBoundedByTheStream) {
  std::vector<uint8_t> file = edge_chain::make_edge_chain_file(0x7FFFFFFF, 4, 4, {});
  file.resize(100, 0);  // 80 bytes of zero bits: a few literal commands
  reset_log();
  const auto start = std::chrono::steady_clock::now();
  const Decoded d = decode(file, record_progress, 0);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(d.status, DecodeStatus::kOk);
  EXPECT_LT(g_log.calls.size(), 30u);
  EXPECT_EQ(g_log.calls.back(), (ProgressLog::Call{0x7FFFFFFF, 0x7FFFFFFF, 0}));
  EXPECT_LT(elapsed, std::chrono::milliseconds(500));
}

TEST(EdgeChainBadInput, RunLongerThanThePictureStopsAtTheBottomRow) {
  // 2^31 - 1 pixels, the longest code there is, in a 4 x 4 picture.
  const auto start = std::chrono::steady_clock::now();
  const Decoded d = decode(picture(4, 4, {lit(0x7FFFFFFF, 0x0000E1),
                                          lit(0x7FFFFFFF, 0x0000E2),
                                          lit(1, 0x0000E3, {0})}));
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(d.status, DecodeStatus::kOk);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) EXPECT_EQ(d.at(x, y), 0x0000E1u | kPainted);
  }
  EXPECT_LT(elapsed, std::chrono::milliseconds(500));
}

TEST(EdgeChainBadInput, RunLengthCodeOf31BitsEndsDecoding) {
  BitWriter out;
  put_command(&out, lit(1, 0x0000F1));
  for (int i = 0; i < 31; ++i) out.put_bit(true);  // k reaches 31
  out.put_bit(false);
  out.put(0, 31);
  put_command(&out, lit(1, 0x0000F2));
  reset_log();
  const Decoded d =
      decode(edge_chain::make_edge_chain_file(3, 2, 1, out.bytes()), record_progress, 0);
  EXPECT_EQ(d.status, DecodeStatus::kOk);
  EXPECT_EQ(d.at(0, 0), 0x0000F1u | kPainted);
  EXPECT_EQ(d.at(1, 0), 0u);
  ASSERT_EQ(g_log.calls.size(), 3u);
  EXPECT_EQ(g_log.calls.back(), (ProgressLog::Call{3, 3, 0}));
}

TEST(EdgeChainBadInput, FileShorterThanItsHeaderPaintsNothing) {
  std::vector<uint8_t> file = edge_chain::make_edge_chain_file(3, 2, 2, {});
  file.resize(12);  // N and W present, H and the stream missing
  std::vector<uint8_t> pixels(16, 0xAA);
  const DecodeStatus s = imgplug::edge_chain_decode({file.data(), file.size()}, pixels.data(),
                                                    pixels.size(), 8, 2, nullptr, 0);
  EXPECT_EQ(s, DecodeStatus::kOk);
  EXPECT_EQ(pixels, std::vector<uint8_t>(16, 0));
}

TEST(EdgeChainBadInput, NeverWritesOutsideTheBlockItIsGiven) {
  // The header claims 2 x 2 but the block holds 5 bytes: nothing is painted.
  std::vector<uint8_t> pixels(16, 0xAA);
  const std::vector<uint8_t> file = worked_example();
  const DecodeStatus s = imgplug::edge_chain_decode({file.data(), file.size()}, pixels.data(), 5,
                                                    8, 2, nullptr, 0);
  EXPECT_EQ(s, DecodeStatus::kOk);
  for (size_t i = 0; i < pixels.size(); ++i) EXPECT_EQ(pixels[i], i < 5 ? 0 : 0xAA) << i;
}

}  // namespace
