#include "protocol/binary_frames.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "protocol/ups_state.h"

namespace zep {
namespace {

using Bytes = std::vector<uint8_t>;

// Builds the request for `id` from `text`; an empty result means the
// builder failed.
Bytes Request(const UpsState& state, uint8_t id, const char* text = "") {
  uint8_t buffer[64] = {};
  std::memcpy(buffer, text, std::strlen(text) + 1);
  int n = BuildRequest(state, id, buffer, sizeof buffer);
  if (n <= 0) return {};
  return Bytes(buffer, buffer + n);
}

struct BinaryFramesTest : ::testing::Test {
  BinaryFramesTest() { state.protocol_mode = 1; }
  UpsState state;
  ReplyAssembly reply;

  int Join(const Bytes& bytes) {
    return JoinReply(state, reply, bytes.data(), bytes.size());
  }
};

TEST_F(BinaryFramesTest, RequestsWithoutData) {
  // 0xAB + 0x01 + 0x33 = 0xDF; 0x100 - 0xDF = 0x21.
  EXPECT_EQ((Bytes{0xAB, 0x01, 0x33, 0x21}), Request(state, 0x33));
  // 0xAB + 0x01 + 0x36 = 0xE2 -> 0x1E.
  EXPECT_EQ((Bytes{0xAB, 0x01, 0x36, 0x1E}), Request(state, 0x36));
  // While probing, the request ends in a CR.
  state.protocol_mode = -1;
  // 0xAB + 0x01 + 0x31 = 0xDD -> 0x23, then CR.
  EXPECT_EQ((Bytes{0xAB, 0x01, 0x31, 0x23, 0x0D}), Request(state, 0x31));
  state.protocol_mode = 0;
  EXPECT_EQ((Bytes{0xAB, 0x01, 0x31, 0x23}), Request(state, 0x31));
}

TEST_F(BinaryFramesTest, RequestsWithData) {
  // Fixed code: AB+04+CF = 0x17E -> 7E; +5A = D8; +45 = 0x11D -> 1D;
  // +50 = 6D -> 0x93.
  EXPECT_EQ((Bytes{0xAB, 0x04, 0xCF, 0x5A, 0x45, 0x50, 0x93}),
            Request(state, 0xCF));
  // Test: AB+03 = AE; +B1 = 0x15F -> 5F; +01 = 60; +7D = DD -> 0x23.
  EXPECT_EQ((Bytes{0xAB, 0x03, 0xB1, 0x01, 0x7D, 0x23}), Request(state, 0xB1));
  // Setting: the first three bytes of the buffer; AB+04+95 = 0x144 -> 44;
  // +06 = 4A; +01 = 4B; +00 -> 0xB5.
  EXPECT_EQ((Bytes{0xAB, 0x04, 0x95, 0x06, 0x01, 0x00, 0xB5}),
            Request(state, 0x95, "\x06\x01"));
}

TEST_F(BinaryFramesTest, EveryRowBuildsItsRequest) {
  // The request ID in each built frame; 0x89 and 0x8B go out as 0x97.
  const struct {
    uint32_t key;
    uint8_t sent_id;
  } rows[] = {
      {0x0131, 0x31}, {0x0636, 0x36}, {0x1343, 0x43}, {0x0333, 0x33},
      {0x0C3C, 0x3C}, {0x0434, 0x34}, {0x0535, 0x35}, {0x1141, 0x41},
      {0x0B3B, 0x3B}, {0x00CF, 0xCF}, {0x0989, 0x97}, {0x098A, 0x8A},
      {0x098B, 0x97}, {0x0991, 0x91}, {0x0993, 0x93}, {0x09B1, 0xB1},
      {0x0995, 0x95},
  };
  for (int i = 0; i < 17; ++i) {
    EXPECT_EQ(rows[i].key, BinaryMessageTable[i].key) << i;
    Bytes frame = Request(state, rows[i].key & 0xFF, "1,2");
    ASSERT_GE(frame.size(), 4u) << i;
    EXPECT_EQ(rows[i].sent_id, frame[2]) << i;
  }
  EXPECT_EQ(0u, BinaryMessageTable[17].key);
  EXPECT_TRUE(Request(state, 0x97).empty());
  EXPECT_TRUE(Request(state, 0x00).empty());
}

TEST_F(BinaryFramesTest, ControlTextGroupAndTime) {
  // "0" on 0x89: all groups (0xFF), t defaults to 1.
  // AB+05+97 = 0x147 -> 47; +04 = 4B; +FF = 0x14A -> 4A; +01 = 4B -> 0xB5.
  Bytes all_cancel{0xAB, 0x05, 0x97, 0x04, 0xFF, 0x01, 0x00, 0xB5};
  EXPECT_EQ(all_cancel, Request(state, 0x89, "0"));
  // A failed read of g also means all groups.
  EXPECT_EQ(all_cancel, Request(state, 0x89, "x"));
  // 256 has a low byte of 0, which on 0x89 means all groups ...
  EXPECT_EQ(all_cancel, Request(state, 0x89, "256"));
  // ... but on 0x91 is group 0: AB+04+91 = 0x140 -> 40; +01 = 41 -> 0xBF.
  EXPECT_EQ((Bytes{0xAB, 0x04, 0x91, 0x01, 0x00, 0x00, 0xBF}),
            Request(state, 0x91, "256"));
  // "7" on 0x91: t = 1, g = 7 after t. 40 + 01 + 07 = 48 -> 0xB8.
  EXPECT_EQ((Bytes{0xAB, 0x04, 0x91, 0x01, 0x00, 0x07, 0xB8}),
            Request(state, 0x91, "7"));
  // "3,-5" on 0x93: t negative gives 0. AB+04+93 = 0x142 -> 42; +03 = 45
  // -> 0xBB.
  EXPECT_EQ((Bytes{0xAB, 0x04, 0x93, 0x00, 0x00, 0x03, 0xBB}),
            Request(state, 0x93, "3,-5"));
  // "1,300" on 0x8B: 300 = 0x012C. 47 + 03 = 4A; +01 = 4B; +2C = 77;
  // +01 = 78 -> 0x88.
  EXPECT_EQ((Bytes{0xAB, 0x05, 0x97, 0x03, 0x01, 0x2C, 0x01, 0x88}),
            Request(state, 0x8B, "1,300"));
  // A comma without a number fails the builder.
  EXPECT_TRUE(Request(state, 0x93, "3,").empty());
  EXPECT_TRUE(Request(state, 0x8A, "255,x").empty());
}

TEST_F(BinaryFramesTest, ShutdownRestartDefaultsToSixty) {
  // No text: "0,60": g = 0xFF left out, t = 60 = 0x3C.
  // AB+03 = AE; +8A = 0x138 -> 38; +3C = 74 -> 0x8C.
  Bytes expected{0xAB, 0x03, 0x8A, 0x3C, 0x00, 0x8C};
  EXPECT_EQ(expected, Request(state, 0x8A, ""));
  EXPECT_EQ(expected, Request(state, 0x8A, "0,60"));
  EXPECT_EQ(expected, Request(state, 0x8A, "255"));
}

// Reply frames below: 0xAB, type, length, number, payload, checksum, the
// checksum making the frame's bytes sum to 0 modulo 256.

TEST_F(BinaryFramesTest, TwoFrameChainJoins) {
  state.protocol_mode = -1;
  // AB+03+01+01+00 = 0xB0 -> 0x50. AB+03+01+82+07 = 0x138 -> 38 -> 0xC8.
  Bytes chain{0xAB, 0x03, 0x01, 0x01, 0x00, 0x50,
              0xAB, 0x03, 0x01, 0x82, 0x07, 0xC8};
  EXPECT_EQ(1, Join(chain));
  ASSERT_EQ(2, reply.count);
  EXPECT_EQ(0x00, reply.bytes[0]);
  EXPECT_EQ(0x07, reply.bytes[1]);
  EXPECT_EQ(1, state.protocol_mode.load());
  EXPECT_EQ(1, DispatchReply(state, reply, chain.data(), chain.size()));
  EXPECT_EQ(0x07, state.ups_flags.load());
}

TEST_F(BinaryFramesTest, ChainMustStartAtFrameOneButNeedNotEnd) {
  state.protocol_mode = -1;
  // AB+03+01+02 = 0xB1 -> 0x4F. AB+03+01+83+07 = 0x139 -> 39 -> 0xC7.
  Bytes chain{0xAB, 0x03, 0x01, 0x02, 0x00, 0x4F,
              0xAB, 0x03, 0x01, 0x83, 0x07, 0xC7};
  EXPECT_EQ(0, Join(chain));
  EXPECT_EQ(-1, state.protocol_mode.load());
  // A first frame without its last one still joins, but shows no binary
  // UPS yet. AB+03+01+01+07 = 0xB7 -> 0x49.
  EXPECT_EQ(1, Join({0xAB, 0x03, 0x01, 0x01, 0x07, 0x49}));
  EXPECT_EQ(1, reply.count);
  EXPECT_EQ(-1, state.protocol_mode.load());
}

TEST_F(BinaryFramesTest, FrameChecksRejectTheChain) {
  state.protocol_mode = -1;
  // A good single last frame: AB+03+01+81+07 = 0x137 -> 37 -> 0xC9.
  EXPECT_EQ(1, Join({0xAB, 0x03, 0x01, 0x81, 0x07, 0xC9}));
  EXPECT_EQ(1, state.protocol_mode.load());
  state.protocol_mode = -1;
  // Bad checksum.
  EXPECT_EQ(0, Join({0xAB, 0x03, 0x01, 0x81, 0x07, 0xC8}));
  // Type 0: AB+00+01+81+07 = 0x134 -> 0xCC.
  EXPECT_EQ(0, Join({0xAB, 0x00, 0x01, 0x81, 0x07, 0xCC}));
  // Type 21: AB+15+01+81+07 = 0x149 -> 0xB7.
  EXPECT_EQ(0, Join({0xAB, 0x15, 0x01, 0x81, 0x07, 0xB7}));
  // Length 0: AB+03+00+81 = 0x12F -> 0xD1 (and one byte after it).
  EXPECT_EQ(0, Join({0xAB, 0x03, 0x00, 0x81, 0xD1, 0x00}));
  // Length with bit 7: AB+03+81+81+07 = 0x1B7 -> 0x49.
  EXPECT_EQ(0, Join({0xAB, 0x03, 0x81, 0x81, 0x07, 0x49}));
  // Fewer than 6 bytes.
  EXPECT_EQ(0, Join({0xAB, 0x03, 0x01, 0x81, 0x07}));
  // A frame cut short by the end of what arrived: length 5, 2 bytes there.
  EXPECT_EQ(0, Join({0xAB, 0x03, 0x05, 0x81, 0x07, 0x00, 0x00}));
  EXPECT_EQ(-1, state.protocol_mode.load());
  // Type 20 is still a reply type: AB+14+01+81+07 = 0x148 -> 0xB8.
  EXPECT_EQ(1, Join({0xAB, 0x14, 0x01, 0x81, 0x07, 0xB8}));
}

TEST_F(BinaryFramesTest, NoiseBeforeAFrameIsSkipped) {
  EXPECT_EQ(1, Join({0x0D, 0x0A, 0xAB, 0x03, 0x01, 0x81, 0x07, 0xC9}));
  EXPECT_EQ(1, reply.count);
  // Text without any frame is no binary reply.
  EXPECT_EQ(0, Join({'O', 'K', 'A', 'Y', '!', '\r'}));
}

TEST_F(BinaryFramesTest, OverlongChainIsCutAtTheAssemblySize) {
  // Eleven frames of 127 zero bytes of type 5: 1397 payload bytes. Each
  // checksum: AB+05+7F = 0x12F -> 2F, plus the number n: 0x100 - (2F + n)
  // = 0xD1 - n; the last (0x8B) gives 2F+8B = BA -> 0x46.
  Bytes chain;
  for (int n = 1; n <= 11; ++n) {
    uint8_t number = n == 11 ? 0x8B : static_cast<uint8_t>(n);
    chain.insert(chain.end(), {0xAB, 0x05, 0x7F, number});
    chain.insert(chain.end(), 127, 0x00);
    chain.push_back(n == 11 ? 0x46 : static_cast<uint8_t>(0xD1 - n));
  }
  EXPECT_EQ(1, Join(chain));
  EXPECT_EQ(1276, reply.count);
  EXPECT_EQ(1, DispatchReply(state, reply, chain.data(), chain.size()));
}

TEST_F(BinaryFramesTest, DispatchByTheTypeAfterTheFirstStart) {
  reply.count = 2;
  reply.bytes[0] = '1';
  reply.bytes[1] = 0;
  Bytes confirmation{0x0D, 0xAB, 0x09};
  EXPECT_EQ(
      1, DispatchReply(state, reply, confirmation.data(), confirmation.size()));
  reply.bytes[0] = '8';
  EXPECT_EQ(
      0, DispatchReply(state, reply, confirmation.data(), confirmation.size()));
  Bytes unknown{0xAB, 0x14};
  EXPECT_EQ(-1, DispatchReply(state, reply, unknown.data(), unknown.size()));
  Bytes none{0xAB, 0x00};
  EXPECT_EQ(-1, DispatchReply(state, reply, none.data(), none.size()));
  Bytes cut{0x00, 0xAB};
  EXPECT_EQ(-1, DispatchReply(state, reply, cut.data(), cut.size()));
}

TEST_F(BinaryFramesTest, PollSequenceAfterAReset) {
  ResetUpsState(state);
  std::vector<int> polled;
  for (int i = 0; i < 21; ++i) {
    polled.push_back(CurrentPollId(state));
    AdvancePoll(state);
  }
  const std::vector<int> expected = {
      0x31, 0x36, 0x43, 0x33, 0x3C, 0x41, 0x34, 0x35, 0x3B,  // identification
      0x33, 0x35, 0x41, 0x34, 0x33, 0x35, 0x41, 0x3B, 0x33, 0x35, 0x41, 0x3C,
  };
  EXPECT_EQ(expected, polled);
  // And the cycle starts over.
  EXPECT_EQ(0x33, CurrentPollId(state));
}

}  // namespace
}  // namespace zep
