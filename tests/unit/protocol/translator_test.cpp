// The command translation end to end against a scripted serial link: what
// goes to the UPS, in which order, and what the client gets back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_serial_link.h"
#include "protocol/ascii_commands.h"
#include "protocol/binary_frames.h"
#include "protocol/ups_io.h"
#include "protocol/ups_state.h"
#include "ups_replies.h"

namespace zep {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

// Reply frames with their checksums worked out so that all bytes sum to 0
// modulo 256.
// Flags {00, 07}: AB+03+02+81+00+07 = 0x138 -> 38 -> C8.
const Bytes kFlagsReply = {0xAB, 0x03, 0x02, 0x81, 0x00, 0x07, 0xC8};
// Confirmation {"1", 0}: AB+09+02+81+31 = 0x168 -> 68 -> 98.
const Bytes kConfirmed = {0xAB, 0x09, 0x02, 0x81, 0x31, 0x00, 0x98};
// Refusal {"0", 0}: 67 -> 99.
const Bytes kRefused = {0xAB, 0x09, 0x02, 0x81, 0x30, 0x00, 0x99};
// Identification {k 0, rating 1, -, -, -, -, length 3, "ABC"}:
// AB+01+0A+81 = 0x137 -> 37; +01 = 38; +03 = 3B; +41 = 7C; +42 = BE;
// +43 = 0x101 -> 01 -> FF.
const Bytes kIdentification = {0xAB, 0x01, 0x0A, 0x81, 0x00, 0x01, 0x00, 0x00,
                               0x00, 0x00, 0x03, 0x41, 0x42, 0x43, 0xFF};

const Bytes kPoll33 = {0xAB, 0x01, 0x33, 0x21};
const Bytes kFixedCode = {0xAB, 0x04, 0xCF, 0x5A, 0x45, 0x50, 0x93};

struct TranslatorTest : ::testing::Test {
  UpsIoResult Handle(const std::string& command) {
    return HandleUpsCommand(translator,
                            reinterpret_cast<const uint8_t*>(command.data()),
                            command.size());
  }

  UpsState state;
  ReplyAssembly reply;
  FakeSerialLink link;
  Translator translator{state, reply, link};
};

TEST_F(TranslatorTest, AsciiUpsSeesCommandsAndAnswersUnchanged) {
  state.protocol_mode = 0;
  link.ScriptReply("ABC\r");
  UpsIoResult result = Handle("XYZ\r");
  EXPECT_TRUE(result.answered);
  EXPECT_EQ("ABC\r", result.text);
  ASSERT_EQ(1u, link.sent().size());
  EXPECT_EQ(Text("XYZ\r"), link.sent()[0]);
  const std::vector<std::string> expected = {
      "FlushTx", "FlushRx", "Send", "RecvChars 50,20,2,1024", "RecvString 4"};
  EXPECT_EQ(expected, link.log());

  link.ClearLog();
  link.ScriptReply("0001001001010500\r");
  result = Handle("&S1\r");
  EXPECT_EQ(Text("&S1\r"), link.sent()[0]);
  EXPECT_EQ("0001001001010500\r", result.text);
}

TEST_F(TranslatorTest, ProbeAnsweredNgSwitchesToAscii) {
  link.ScriptReply("NG\r");
  UpsIoResult result = Handle("&K\r");
  // The identification request, AB+01+31 = DD -> 23, and a CR.
  ASSERT_EQ(1u, link.sent().size());
  EXPECT_EQ((Bytes{0xAB, 0x01, 0x31, 0x23, 0x0D}), link.sent()[0]);
  EXPECT_EQ(0, state.protocol_mode.load());
  EXPECT_EQ("NG\r", result.text);

  link.ClearLog();
  link.ScriptReply("ZPX-A1500 01.02\r");
  result = Handle("&M\r");
  EXPECT_EQ(Text("&M\r"), link.sent()[0]);
  EXPECT_EQ("ZPX-A1500 01.02\r", result.text);
}

TEST_F(TranslatorTest, ProbeAnsweredWithFramesSwitchesToBinary) {
  link.ScriptReply(kIdentification);
  UpsIoResult result = Handle("&K\r");
  EXPECT_EQ(1, state.protocol_mode.load());
  EXPECT_EQ("ABC", ModelNameOf(state));
  EXPECT_EQ(1000, RatedVaOf(state));
  // The row of "&K" answers "NG\r" of its own.
  EXPECT_EQ("NG\r", result.text);
  EXPECT_EQ(8, state.pending_command_row.load());

  // The poll moved on; no CR now the protocol is known. AB+01+36 = E2 -> 1E.
  link.ClearLog();
  link.ScriptReply(kFlagsReply);
  Handle("&M\r");
  EXPECT_EQ((Bytes{0xAB, 0x01, 0x36, 0x1E}), link.sent()[0]);
}

TEST_F(TranslatorTest, ControlRequestFollowsTheFixedCode) {
  testing_replies::FillNormalUps(state);
  state.poll_index = 0;
  link.ScriptReply(kConfirmed);  // to the fixed code, not interpreted
  link.ScriptReply(kConfirmed);  // to the test request
  UpsIoResult result = Handle("&T\r");
  ASSERT_EQ(2u, link.sent().size());
  EXPECT_EQ(kFixedCode, link.sent()[0]);
  EXPECT_EQ((Bytes{0xAB, 0x03, 0xB1, 0x01, 0x7D, 0x23}), link.sent()[1]);
  const std::vector<std::string> expected = {"FlushTx",
                                             "FlushRx",
                                             "Send",
                                             "RecvChars 300,1,1,1",
                                             "FlushRx",
                                             "Send",
                                             "RecvChars 50,20,2,1024",
                                             "RecvString 7"};
  EXPECT_EQ(expected, link.log());
  EXPECT_EQ("OK\r", result.text);
  EXPECT_EQ(5, state.test_state.load());
  EXPECT_EQ(27, state.pending_command_row.load());
  // A control request is no poll.
  EXPECT_EQ(0, state.poll_index.load());
}

TEST_F(TranslatorTest, AnswerToTheFixedCodeIsNotTakenForTheReply) {
  testing_replies::FillNormalUps(state);
  link.ScriptReply(kConfirmed);
  link.ScriptReply(kRefused);
  EXPECT_EQ("NG\r", Handle("&T\r").text);
  EXPECT_EQ(0, state.test_state.load());
}

TEST_F(TranslatorTest, RejectedSettingLeavesTheMode) {
  testing_replies::FillNormalUps(state);
  link.ScriptReply(Bytes{});
  link.ScriptReply(kRefused);
  EXPECT_EQ("NG\r", Handle("&Z4\r").text);
  EXPECT_EQ(0, state.mode_setting.load());
  EXPECT_EQ(4, state.pending_mode_setting.load());
  link.ScriptReply(Bytes{});
  link.ScriptReply(kConfirmed);
  EXPECT_EQ("OK\r", Handle("&Z4\r").text);
  EXPECT_EQ(4, state.mode_setting.load());
}

TEST_F(TranslatorTest, StatusCommandsRideOnPolls) {
  testing_replies::FillNormalUps(state);
  state.poll_index = 0;
  link.ScriptReply(kFlagsReply);
  UpsIoResult result = Handle("&S1\r");
  EXPECT_EQ(kPoll33, link.sent()[0]);
  EXPECT_EQ("000100100101050\r", result.text);
  EXPECT_EQ(1, state.poll_index.load());
  EXPECT_EQ(0, state.pending_command_row.load());
}

TEST_F(TranslatorTest, CommandsWithoutAnswerOfTheirOwnGetOk) {
  testing_replies::FillNormalUps(state);
  state.poll_index = 0;
  for (const char* command : {"%ZQ\r", "T\r"}) {
    link.ClearLog();
    link.ScriptReply(kFlagsReply);
    EXPECT_EQ("OK\r", Handle(command).text) << command;
    ASSERT_EQ(1u, link.sent().size());
    EXPECT_EQ(0xAB, link.sent()[0][0]);
  }
  EXPECT_EQ(2, state.poll_index.load());
}

TEST_F(TranslatorTest, UnknownCommandGetsNgAndKeepsThePoll) {
  testing_replies::FillNormalUps(state);
  state.poll_index = 0;
  link.ScriptReply(kFlagsReply);
  UpsIoResult result = Handle("XX\r");
  EXPECT_EQ(kPoll33, link.sent()[0]);
  EXPECT_TRUE(result.answered);
  EXPECT_EQ("NG", result.text);
  EXPECT_EQ(-1, state.pending_command_row.load());
  EXPECT_EQ(0, state.poll_index.load());
  // The reply was still read into the state.
  EXPECT_EQ(0x07, state.ups_flags.load());
}

TEST_F(TranslatorTest, ReplyThatIsNeitherNgNorFramesPassesOn) {
  testing_replies::FillNormalUps(state);
  link.ScriptReply("garbage\r");
  EXPECT_EQ("garbage\r", Handle("Q1\r").text);
}

TEST_F(TranslatorTest, NoAnswerWhenNothingComesOrNothingGoes) {
  state.protocol_mode = 0;
  UpsIoResult silent = Handle("Q1\r");
  EXPECT_FALSE(silent.answered);

  link.set_fail_sends(true);
  link.ScriptReply("X\r");
  EXPECT_FALSE(Handle("Q1\r").answered);
  link.set_fail_sends(false);

  link.set_unreadable(true);
  link.ScriptReply("X\r");
  EXPECT_FALSE(Handle("Q1\r").answered);
}

TEST_F(TranslatorTest, UntranslatableControlCommandGetsNoAnswer) {
  testing_replies::FillNormalUps(state);
  link.ScriptReply(Bytes{});
  EXPECT_FALSE(Handle("S\r").answered);
  // Only the fixed code went out.
  ASSERT_EQ(1u, link.sent().size());
  EXPECT_EQ(kFixedCode, link.sent()[0]);
}

TEST_F(TranslatorTest, OverlongCommandAndReplyAreCut) {
  state.protocol_mode = 0;
  link.ScriptReply("OK\r");
  Handle(std::string(2000, 'A'));
  ASSERT_EQ(1u, link.sent().size());
  EXPECT_EQ(kUpsCommandMaximum, link.sent()[0].size());
  // A reply longer than the buffer keeps what fits with its terminator.
  char buffer[16] = {};
  link.ScriptReply(std::string(40, 'B'));
  std::string command = "Q1\r";
  std::copy(command.begin(), command.end(), buffer);
  ASSERT_EQ(3, TranslateCommand(translator, buffer, 3, sizeof buffer));
  EXPECT_EQ(15, TranslateReply(translator, buffer, 40, sizeof buffer));
  EXPECT_EQ(std::string(15, 'B'), std::string(buffer));
}

}  // namespace
}  // namespace zep
