// The binary frame protocol through the terminal. Request frames and the
// expected reply frames are written out by hand: every checksum below is the
// byte that brings the frame's sum to a multiple of 0x100, worked out in the
// comment beside it.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "sim_line.h"
#include "simulator.h"

namespace zep {
namespace {

using test::Bytes;
using test::Hex;
using test::SimLine;
using test::WaitFor;

std::string Zeros(size_t n) { return std::string(n, '\0'); }

// Splits a reply chain into its frames and checks the framing: start mark,
// length byte, frame numbers from 1 with bit 7 on the last only, and each
// frame's bytes summing to 0 modulo 256. Returns the joined payload.
std::string CheckChain(const std::string& chain, char type, int frames) {
  std::string payload;
  size_t at = 0;
  int number = 0;
  while (at < chain.size()) {
    ++number;
    EXPECT_LE(at + 5, chain.size());
    if (at + 5 > chain.size()) break;
    EXPECT_EQ('\xAB', chain[at]);
    EXPECT_EQ(type, chain[at + 1]);
    const size_t length = static_cast<unsigned char>(chain[at + 2]);
    EXPECT_GE(length, 1u);
    EXPECT_LE(length, 127u);
    const unsigned char numbering = chain[at + 3];
    EXPECT_EQ(number, numbering & 0x7F);
    EXPECT_EQ(number == frames, (numbering & 0x80) != 0) << "frame " << number;
    unsigned sum = 0;
    for (size_t i = at; i < at + 5 + length && i < chain.size(); ++i) {
      sum += static_cast<unsigned char>(chain[i]);
    }
    EXPECT_EQ(0u, sum % 256) << "frame " << number;
    payload += chain.substr(at + 4, length);
    at += 5 + length;
  }
  EXPECT_EQ(frames, number);
  return payload;
}

class BinaryProtocolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SimOptions options;
    options.protocol = SimProtocol::kBinary;  // ZPX-A1500JC at 2400 bps
    sim_ = std::make_unique<Simulator>(options);
    std::string error;
    ASSERT_TRUE(sim_->Start(&error)) << error;
    line_ = std::make_unique<SimLine>(sim_->DevicePath(), 2400);
    ASSERT_TRUE(line_->ok());
  }

  std::string Ask(const std::string& hex) { return line_->Ask(Bytes(hex)); }

  std::unique_ptr<Simulator> sim_;
  std::unique_ptr<SimLine> line_;
};

// The identification payload of ZPX-A1500JC, field by field.
std::string IdentificationA() {
  std::string p = Bytes("03 00 01 05 01 FF FF");  // three version pairs
  p += Bytes("00 1E 00 00 00");  // rating byte 0, 30 x 50 VA, two unused
  p += '\x0B';
  p += "ZPX-A1500JC";
  std::string types = Zeros(80);  // code of measurement n at n - 1
  types[22 - 1] = '\xE0';
  types[24 - 1] = '\xE2';
  types[28 - 1] = '\x01';
  types[29 - 1] = '\xF1';
  types[34 - 1] = '\xF2';
  types[35 - 1] = '\xE0';
  types[36 - 1] = '\x01';
  types[48 - 1] = '\x01';
  types[57 - 1] = '\x01';
  types[63 - 1] = '\xF1';
  types[79 - 1] = '\x01';
  p += '\x50' + types;
  // Alarm bits 0 1 9 25 26 30 56 57 59 73 149 174 202: byte n / 8, bit n % 8.
  std::string presence = Zeros(30);
  presence[0] = '\x03';   // 0, 1
  presence[1] = '\x02';   // 9
  presence[3] = '\x46';   // 25, 26, 30
  presence[7] = '\x0B';   // 56, 57, 59
  presence[9] = '\x02';   // 73
  presence[18] = '\x20';  // 149
  presence[21] = '\x40';  // 174
  presence[25] = '\x04';  // 202
  p += '\x1E' + presence;
  return p;
}

TEST_F(BinaryProtocolTest, ProbeGetsTheIdentificationInThreeFrames) {
  // 0xAB + 0x01 + 0x31 = 0xDD, checksum 0x23, then the probe's CR.
  const std::string chain = Ask("AB 01 31 23 0D");
  // 136 payload bytes: 64 + 64 + 8.
  ASSERT_EQ(5u + 64 + 5 + 64 + 5 + 8, chain.size());
  EXPECT_EQ("AB 01 40 01", Hex(chain.substr(0, 4)));
  EXPECT_EQ("AB 01 40 02", Hex(chain.substr(69, 4)));
  // The last frame: presence bytes 22..29; 0xAB + 0x01 + 0x08 + 0x83 + 0x04
  // = 0x13B, checksum 0xC5.
  EXPECT_EQ("AB 01 08 83 00 00 00 04 00 00 00 00 C5", Hex(chain.substr(138)));
  EXPECT_EQ(Hex(IdentificationA()), Hex(CheckChain(chain, '\x01', 3)));
  SimCounters c = sim_->Counters();
  EXPECT_EQ(1, c.probes);
  EXPECT_EQ(1, c.frame_requests[0x31]);
  // Without the CR it is the same request, not a probe.
  EXPECT_EQ(chain, Ask("AB 01 31 23"));
  EXPECT_EQ(1, sim_->Counters().probes);
}

TEST_F(BinaryProtocolTest, RatingsReplyIsTwoFramesWithBothTexts) {
  // 0xAB + 0x01 + 0x36 = 0xE2, checksum 0x1E.
  const std::string chain = Ask("AB 01 36 1E");
  ASSERT_EQ(5u + 64 + 5 + 16, chain.size());
  // Second frame: payload bytes 64..79, "1500VA/1350W" padded with spaces.
  // 0xAB + 0x06 + 0x10 + 0x82 = 0x143; the text sums to 0x32C; 0x46F ->
  // checksum 0x91.
  EXPECT_EQ("AB 06 10 82 31 35 30 30 56 41 2F 31 33 35 30 57 20 20 20 20 91",
            Hex(chain.substr(69)));
  const std::string payload = CheckChain(chain, '\x06', 2);
  ASSERT_EQ(80u, payload.size());
  EXPECT_EQ("64 00 01 00", Hex(payload.substr(8, 4)));  // 100 V, then 1
  EXPECT_EQ('\0', payload[16]);                         // type flag clear
  EXPECT_EQ("SN A15-00012345 ", payload.substr(48, 16));
}

TEST_F(BinaryProtocolTest, SmallRepliesByteForByte) {
  // 0x33: AB 03 02 81 00 12 -> 0x143, checksum 0xBD.
  EXPECT_EQ("AB 03 02 81 00 12 BD", Hex(Ask("AB 01 33 21")));
  // 0x43 (0xAB + 0x01 + 0x43 = 0xEF -> 0x11): operating state 32.
  // AB 13 02 81 20 00 -> 0x161, checksum 0x9F.
  EXPECT_EQ("AB 13 02 81 20 00 9F", Hex(Ask("AB 01 43 11")));
  // 0x41 (0xED -> 0x13): two groups, stride 2, {1, 1} and {2, 1}.
  // 0xAB + 0x11 + 0x06 + 0x81 + 2 + 2 + 1 + 1 + 2 + 1 = 0x14C -> 0xB4.
  EXPECT_EQ("AB 11 06 81 02 02 01 01 02 01 B4", Hex(Ask("AB 01 41 13")));
  // 0x3B (0xE7 -> 0x19): 21 zero bytes; 0xAB + 0x0B + 0x15 + 0x81 = 0x14C.
  EXPECT_EQ("AB 0B 15 81 " + Hex(Zeros(21)) + " B4", Hex(Ask("AB 01 3B 19")));
}

TEST_F(BinaryProtocolTest, LimitsReplyWithTaggedEntries) {
  // 0x3C (0xE8 -> 0x18). Base 1000, 50 Hz, 27 x 50 W, tolerance 300, mode 0
  // at 17, limits 100 and 1100, three tagged entries announced at 31.
  // Header 0x161 + payload 0x40B = 0x56C -> checksum 0x94.
  const std::string payload =
      "E8 03 32 00 1B 00 00 00 2C 01 00 00 00 00 00 00 00 00 64 00 4C 04 " +
      Hex(Zeros(9)) + " 03 90 0A 00 91 14 00 92 1E 00";
  EXPECT_EQ("AB 0C 29 81 " + payload + " 94", Hex(Ask("AB 01 3C 18")));
}

TEST_F(BinaryProtocolTest, MeasurementsUseAllThreeEncodings) {
  // 0x34 (0xE0 -> 0x20). Ascending measurement numbers:
  //   22 W 472 (u32)      24 VA 525 (u32)       28 50.0 Hz (float)
  //   29 100/2 = 50 Hz    34 110/4 = 27.5 V     35 100 %  (u32)
  //   36 40.0 min (float) 48 35.0 % (float)     57 101.0 V (float)
  //   63 50/2 = 25 C      79 100.0 V (float)
  const std::string normal =
      "D8 01 00 00 0D 02 00 00 00 00 48 42 64 00 00 00 6E 00 00 00 "
      "64 00 00 00 00 00 20 42 00 00 0C 42 00 00 CA 42 32 00 00 00 "
      "00 00 C8 42";
  EXPECT_EQ(normal, Hex(CheckChain(Ask("AB 01 34 20"), '\x04', 1)));

  // Battery low: no input (0.0 V, 0.0 Hz), 86/4 = 21.5 V, 10 %, 3.0 min,
  // 52/2 = 26 C.
  sim_->SetState(SimState::kBatteryLow);
  const std::string low =
      "D8 01 00 00 0D 02 00 00 00 00 00 00 64 00 00 00 56 00 00 00 "
      "0A 00 00 00 00 00 40 40 00 00 0C 42 00 00 00 00 34 00 00 00 "
      "00 00 C8 42";
  EXPECT_EQ(low, Hex(CheckChain(Ask("AB 01 34 20"), '\x04', 1)));

  // Too hot: 111/2 = 55.5 C.
  sim_->SetState(SimState::kOverTemperature);
  EXPECT_EQ("6F 00 00 00",
            Hex(CheckChain(Ask("AB 01 34 20"), '\x04', 1).substr(36, 4)));
}

TEST_F(BinaryProtocolTest, AlarmBytesAndFlagsFollowTheState) {
  // 0x35 (0xE1 -> 0x1F): one byte per supported bit, in the order
  // 0 1 9 25 26 30 56 57 59 73 149 174 202. Header 0xAB + 0x05 + 0x0D +
  // 0x81 = 0x13E, so the checksum is 0xC2 less the count of set bytes.
  EXPECT_EQ("AB 05 0D 81 00 00 00 00 00 00 00 00 00 00 00 00 00 C2",
            Hex(Ask("AB 01 35 1F")));
  sim_->SetState(SimState::kMainsFailure);  // bit 57
  EXPECT_EQ("AB 05 0D 81 00 00 00 00 00 00 00 01 00 00 00 00 00 C1",
            Hex(Ask("AB 01 35 1F")));
  sim_->SetState(SimState::kBatteryLow);  // bits 56 and 57, flags 0x32
  EXPECT_EQ("AB 05 0D 81 00 00 00 00 00 00 01 01 00 00 00 00 00 C0",
            Hex(Ask("AB 01 35 1F")));
  // 0x143 - 0x12 + 0x32 = 0x163 -> checksum 0x9D.
  EXPECT_EQ("AB 03 02 81 00 32 9D", Hex(Ask("AB 01 33 21")));
  sim_->SetState(SimState::kOverTemperature);  // bit 73
  EXPECT_EQ("AB 05 0D 81 00 00 00 00 00 00 00 00 00 01 00 00 00 C1",
            Hex(Ask("AB 01 35 1F")));
  sim_->SetState(SimState::kOverload);  // bit 25
  EXPECT_EQ("AB 05 0D 81 00 00 00 01 00 00 00 00 00 00 00 00 00 C1",
            Hex(Ask("AB 01 35 1F")));
  sim_->SetState(SimState::kNormal);
  EXPECT_EQ("AB 03 02 81 00 12 BD", Hex(Ask("AB 01 33 21")));
}

TEST_F(BinaryProtocolTest, ControlRequestsAreConfirmedAndRecorded) {
  // The cancel request: 0x97, sub-code 4, group 0xFF, 1 second.
  // 0xAB + 5 + 0x97 + 4 + 0xFF + 1 = 0x24B -> 0xB5. Confirmation "1" and
  // the ID: 0xAB + 9 + 2 + 0x81 + 0x31 + 0x97 = 0x1FF -> 0x01.
  EXPECT_EQ("AB 09 02 81 31 97 01", Hex(Ask("AB 05 97 04 FF 01 00 B5")));
  // Shutdown after 120 s with a restart: 0x8A 78 00.
  // 0xAB + 3 + 0x8A + 0x78 = 0x1B0 -> 0x50; reply 0x168 + 0x8A -> 0x0E.
  EXPECT_EQ("AB 09 02 81 31 8A 0E", Hex(Ask("AB 03 8A 78 00 50")));
  SimCounters c = sim_->Counters();
  EXPECT_EQ(2, c.controls);
  EXPECT_EQ("AB 03 8A 78 00 50", Hex(std::string(c.last_control_frame.begin(),
                                                 c.last_control_frame.end())));
  // The test request 0xB1 1 125: 0xAB + 3 + 0xB1 + 1 + 0x7D = 0x1DD -> 0x23;
  // reply 0x168 + 0xB1 = 0x219 -> 0xE7.
  EXPECT_EQ("AB 09 02 81 31 B1 E7", Hex(Ask("AB 03 B1 01 7D 23")));

  // 0x93 with a group: 60 s, group 2. 0xAB + 4 + 0x93 + 0x3C + 2 = 0x180
  // -> 0x80; reply 0x168 + 0x93 = 0x1FB -> 0x05.
  EXPECT_EQ("AB 09 02 81 31 93 05", Hex(Ask("AB 04 93 3C 00 02 80")));
  // 0x91 with a single data byte cannot be carried out: 0xAB + 2 + 0x91 +
  // 5 = 0x143 -> 0xBD; reply "0": 0x167 + 0x91 = 0x1F8 -> 0x08.
  EXPECT_EQ("AB 09 02 81 30 91 08", Hex(Ask("AB 02 91 05 BD")));

  // A sub-code the UPS does not know is refused with "0":
  // 0xAB + 5 + 0x97 + 5 + 0xFF + 1 = 0x24C -> 0xB4; reply 0x1FE -> 0x02.
  EXPECT_EQ("AB 09 02 81 30 97 02", Hex(Ask("AB 05 97 05 FF 01 00 B4")));

  sim_->SetRejectControls(true);
  EXPECT_EQ("AB 09 02 81 30 97 02", Hex(Ask("AB 05 97 04 FF 01 00 B5")));
}

TEST_F(BinaryProtocolTest, ConfirmedModeRequestChangesTheLimitsReply) {
  // 0x95 6 3 0: 0xAB + 4 + 0x95 + 6 + 3 = 0x14D -> 0xB3; reply 0x168 +
  // 0x95 = 0x1FD -> 0x03.
  EXPECT_EQ("AB 09 02 81 31 95 03", Hex(Ask("AB 04 95 06 03 00 B3")));
  const std::string limits = CheckChain(Ask("AB 01 3C 18"), '\x0C', 1);
  ASSERT_EQ(41u, limits.size());
  EXPECT_EQ('\x03', limits[17]);

  // A refused one leaves it as it was.
  sim_->SetRejectControls(true);
  EXPECT_EQ("AB 09 02 81 30 95 04", Hex(Ask("AB 04 95 06 04 00 B2")));
  EXPECT_EQ('\x03', CheckChain(Ask("AB 01 3C 18"), '\x0C', 1)[17]);
}

TEST_F(BinaryProtocolTest, SilentToTheAnnouncementUnknownIdsAndBadFrames) {
  // 0xCF with a 3-byte code: 0xAB + 4 + 0xCF + 1 + 2 + 3 = 0x184 -> 0x7C.
  line_->Write(Bytes("AB 04 CF 01 02 03 7C"));
  // Unknown ID 0x50: 0xAB + 1 + 0x50 = 0xFC -> 0x04.
  line_->Write(Bytes("AB 01 50 04"));
  ASSERT_TRUE(WaitFor([&] {
    SimCounters c = sim_->Counters();
    return c.frame_requests[0xCF] == 1 && c.frame_requests[0x50] == 1;
  }));
  EXPECT_EQ("", line_->Read(300));

  // A wrong checksum and stray bytes are stepped over; the good frame after
  // them is answered once.
  EXPECT_EQ("AB 03 02 81 00 12 BD", Hex(Ask("AB 01 33 22 55 0D AB 01 33 21")));
  EXPECT_EQ(6, sim_->Counters().dropped);
}

TEST_F(BinaryProtocolTest, FramesInPiecesAreJoined) {
  line_->Write(Bytes("AB 01"));
  line_->Write(Bytes("33 21"));
  EXPECT_EQ("AB 03 02 81 00 12 BD", Hex(line_->Read()));
}

TEST_F(BinaryProtocolTest, GarbageNeverHoldsACr) {
  sim_->SetState(SimState::kGarbage);
  for (int i = 0; i < 20; ++i) {
    const std::string noise = Ask("AB 01 35 1F");
    ASSERT_FALSE(noise.empty());
    EXPECT_EQ(std::string::npos, noise.find('\r')) << Hex(noise);
    // Whatever it is, it is not the valid alarm reply.
    EXPECT_NE("AB 05 0D 81 00 00 00 00 00 00 00 00 00 00 00 00 00 C2",
              Hex(noise));
  }
}

TEST(BinaryModelsTest, ModelWithoutLoadMeasurementAndARatingByte) {
  SimOptions options;
  options.protocol = SimProtocol::kBinary;
  options.model = "ZPX-B3000JC";
  Simulator sim(options);
  std::string error;
  ASSERT_TRUE(sim.Start(&error)) << error;
  SimLine line(sim.DevicePath(), 2400);
  const std::string id =
      CheckChain(line.Ask(Bytes("AB 01 31 23 0D")), '\x01', 3);
  // Rating byte 3 (3000 VA), the 16-bit count left 0.
  EXPECT_EQ("03 00 00 00 00 0B", Hex(id.substr(7, 6)));
  EXPECT_EQ("ZPX-B3000JC", id.substr(13, 11));
  EXPECT_EQ('\0', id[25 + 48 - 1]);  // no measurement 48
  // Ten measurements: 2700 W x 35 % = 945 W, 3000 VA x 35 % = 1050 VA.
  const std::string values =
      CheckChain(line.Ask(Bytes("AB 01 34 20")), '\x04', 1);
  ASSERT_EQ(40u, values.size());
  EXPECT_EQ("B1 03 00 00 1A 04 00 00", Hex(values.substr(0, 8)));
  // Limits: 54 x 50 W.
  EXPECT_EQ(
      "36 00",
      Hex(CheckChain(line.Ask(Bytes("AB 01 3C 18")), '\x0C', 1).substr(4, 2)));
}

TEST(BinaryModelsTest, UnknownModelIsRefusedAtStart) {
  SimOptions options;
  options.model = "ZPX-Q9";
  Simulator sim(options);
  std::string error;
  EXPECT_FALSE(sim.Start(&error));
  EXPECT_EQ("unknown model \"ZPX-Q9\"", error);
}

}  // namespace
}  // namespace zep
