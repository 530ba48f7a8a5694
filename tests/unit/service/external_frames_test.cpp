// External frames written out byte by byte, with every XOR checksum worked
// out in the comments: the summary and text queries, the authorisation and
// the commands it lets through, the 258-byte answer, and frames that are
// dropped.
#include "link/external_frames.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "message_files.h"
#include "protocol/event_table.h"
#include "text_format.h"

namespace zep {
namespace {

using Bytes = std::vector<uint8_t>;

struct ExternalFramesTest : ::testing::Test {
  ExternalFramesTest() : messages(new MessageTables) {
    sources.summary = &summary;
    sources.messages = messages.get();
  }

  // Handles `frame`, keeping the answer and the made command.
  int Handle(const Bytes& frame) {
    const int result =
        HandleExternalFrame(session, sources, frame.data(),
                            static_cast<int>(frame.size()), &outcome);
    answer.assign(outcome.answer, outcome.answer + (result > 0 ? result : 0));
    return result;
  }
  std::string Command() const { return outcome.command; }
  std::string Console() const { return outcome.console_line; }

  void SetSummary(int severity, int total, int kind, int category,
                  int32_t stamp) {
    summary.summary_severity = severity;
    summary.summary_total = total;
    summary.summary_kind = kind;
    summary.summary_category = category;
    summary.summary_stamp = stamp;
  }

  EventSummary summary;
  std::unique_ptr<MessageTables> messages;
  ExternalSources sources;
  ExternalSession session;
  ExternalOutcome outcome;
  Bytes answer;
};

// ---- The "B" query --------------------------------------------------------

// "B", 2 entries {1, 0 0 0 0} {5, 0 0 0 0}; n = 12.
// Checksum: 0C^02 = 0E, ^42 = 4C, ^02 = 4E, ^01 = 4F, ^05 = 4A.
const Bytes kSeverityAndStampQuery = {0x0C, 0x02, 0x42, 0x02, 0x01,
                                      0x00, 0x00, 0x00, 0x00, 0x05,
                                      0x00, 0x00, 0x00, 0x00, 0x4A};

TEST_F(ExternalFramesTest, SummaryQueryBeforeAnyStampAnswersMinusOne) {
  // A summary with values but no stamp counts as "nothing yet".
  SetSummary(3, 1, 3368, 5, 0);
  // 0C 06 42 02 01 FFFFFFFF 05 FFFFFFFF. Checksum: 0C^06 = 0A, ^42 = 48,
  // ^02 = 4A, ^01 = 4B, the four FF cancel out, ^05 = 4E.
  const Bytes expected = {0x0C, 0x06, 0x42, 0x02, 0x01, 0xFF, 0xFF, 0xFF,
                          0xFF, 0x05, 0xFF, 0xFF, 0xFF, 0xFF, 0x4E};
  EXPECT_EQ(15, Handle(kSeverityAndStampQuery));
  EXPECT_EQ(expected, answer);
  EXPECT_EQ("External Size:12 ID:02 Length:12 CMD:42 02 01\r\n", Console());
  EXPECT_EQ("", Command());
}

TEST_F(ExternalFramesTest, SummaryQueryFillsValuesMostSignificantByteFirst) {
  // Stamp 1700000000 = 0x6553F100, kind 3368 = 0x0D28.
  SetSummary(3, 2, 3368, 5, 1700000000);
  // "B", 6 entries with codes 1 2 3 4 5 9; n = 32 = 0x20.
  // Checksum: 20^02 = 22, ^42 = 60, ^06 = 66, ^01 = 67, ^02 = 65, ^03 = 66,
  // ^04 = 62, ^05 = 67, ^09 = 6E.
  const Bytes request = {0x20, 0x02, 0x42, 0x06, 0x01, 0,    0,    0,   0,
                         0x02, 0,    0,    0,    0,    0x03, 0,    0,   0,
                         0,    0x04, 0,    0,    0,    0,    0x05, 0,   0,
                         0,    0,    0x09, 0,    0,    0,    0,    0x6E};
  // Answer checksum: 20^06 = 26, ^42 = 64, ^06 = 62; {01 00000003}: 63, 60;
  // {02 00000002}: 62, 60; {03 00000D28}: 63, 6E, 46; {04 00000005}: 42,
  // 47; {05 6553F100}: 42, 27, 74, 85; {09 FFFFFFFF}: 8C.
  const Bytes expected = {0x20, 0x06, 0x42, 0x06, 0x01, 0x00, 0x00, 0x00, 0x03,
                          0x02, 0x00, 0x00, 0x00, 0x02, 0x03, 0x00, 0x00, 0x0D,
                          0x28, 0x04, 0x00, 0x00, 0x00, 0x05, 0x05, 0x65, 0x53,
                          0xF1, 0x00, 0x09, 0xFF, 0xFF, 0xFF, 0xFF, 0x8C};
  EXPECT_EQ(35, Handle(request));
  EXPECT_EQ(expected, answer);
}

TEST_F(ExternalFramesTest, SummaryQueryFillsOnlyTheEntriesThatArrived) {
  SetSummary(2, 2, 2177, 4, 1000);
  // "B" promising 3 entries; one whole entry {02 ...} and 2 bytes of the
  // next arrived; n = 9. Checksum: 09^02 = 0B, ^42 = 49, ^03 = 4A,
  // ^02 = 48, ^01 = 49.
  const Bytes request = {0x09, 0x02, 0x42, 0x03, 0x02, 0x00,
                         0x00, 0x00, 0x00, 0x01, 0x00, 0x49};
  // The total (2) goes into the whole entry; the part entry stays as sent.
  // Checksum: 09^06 = 0F, ^42 = 4D, ^03 = 4E, ^02 = 4C, ^02 = 4E, ^01 = 4F.
  const Bytes expected = {0x09, 0x06, 0x42, 0x03, 0x02, 0x00,
                          0x00, 0x00, 0x02, 0x01, 0x00, 0x4F};
  EXPECT_EQ(12, Handle(request));
  EXPECT_EQ(expected, answer);

  // A payload shorter than 5 bytes gets no answer: "B", 1, 05, 00.
  // Checksum: 04^02 = 06, ^42 = 44, ^01 = 45, ^05 = 40.
  EXPECT_EQ(0, Handle({0x04, 0x02, 0x42, 0x01, 0x05, 0x00, 0x40}));
  EXPECT_TRUE(answer.empty());
  // Neither does the "C" query: 01^02 = 03, ^43 = 40.
  EXPECT_EQ(0, Handle({0x01, 0x02, 0x43, 0x40}));
  EXPECT_EQ("External Size:1 ID:02 Length:1 CMD:43 00 00\r\n", Console());
}

// ---- The text query -------------------------------------------------------

TEST_F(ExternalFramesTest, TextQueryAnswersTheTextOfTheRecord) {
  messages->categories[0].identifier = 107;
  CopyText(messages->categories[0].first_text, kMessageTextSize, "Unknown");
  messages->states_events[0].identifier = 3368;
  CopyText(messages->states_events[0].first_text, kMessageTextSize,
           "Mains failure");
  CopyText(messages->states_events[0].second_text, kMessageTextSize, "AC");
  SetInfoString(&messages->info_strings, 7, "100");

  // Kind 1, identifier 107 = 6B 00 00 00, variant 0. Checksum: 0A^02 = 08,
  // ^01 = 09, ^6B = 62.
  EXPECT_EQ(12, Handle({0x0A, 0x02, 0x00, 0x01, 0x6B, 0x00, 0x00, 0x00, 0x00,
                        0x00, 0x00, 0x00, 0x62}));
  // 09 06 00 01 "Unknown". Checksum: 09^06 = 0F, ^01 = 0E, ^55 = 5B,
  // ^6E = 35, ^6B = 5E, ^6E = 30, ^6F = 5F, ^77 = 28, ^6E = 46.
  EXPECT_EQ(
      (Bytes{0x09, 0x06, 0x00, 0x01, 'U', 'n', 'k', 'n', 'o', 'w', 'n', 0x46}),
      answer);
  EXPECT_EQ("External Size:10 ID:02 Length:10 CMD:00 01 6b\r\n", Console());

  // Kind 3, identifier 3368 = 28 0D 00 00 (least significant byte first),
  // variant 1: the second text. Checksum: 08^03 = 0B, ^28 = 23, ^0D = 2E,
  // ^01 = 2F.
  EXPECT_EQ(7, Handle({0x0A, 0x02, 0x00, 0x03, 0x28, 0x0D, 0x00, 0x00, 0x01,
                       0x00, 0x00, 0x00, 0x2F}));
  // 04 06 00 03 "AC". Checksum: 04^06 = 02, ^03 = 01, ^41 = 40, ^43 = 03.
  EXPECT_EQ((Bytes{0x04, 0x06, 0x00, 0x03, 'A', 'C', 0x03}), answer);

  // Kind 5 reads the information items: item 7. Checksum: 08^05 = 0D,
  // ^07 = 0A.
  EXPECT_EQ(8, Handle({0x0A, 0x02, 0x00, 0x05, 0x07, 0x00, 0x00, 0x00, 0x00,
                       0x00, 0x00, 0x00, 0x0A}));
  // 05 06 00 05 "100". Checksum: 05^06 = 03, ^05 = 06, ^31 = 37, ^30 = 07,
  // ^30 = 37.
  EXPECT_EQ((Bytes{0x05, 0x06, 0x00, 0x05, '1', '0', '0', 0x37}), answer);
}

TEST_F(ExternalFramesTest, TextQueryWithoutARecordOrOfTheWrongSize) {
  messages->categories[0].identifier = 107;
  // Kind 1, identifier 108: no such record. Checksum: 08^01 = 09, ^6C = 65.
  EXPECT_EQ(5, Handle({0x0A, 0x02, 0x00, 0x01, 0x6C, 0x00, 0x00, 0x00, 0x00,
                       0x00, 0x00, 0x00, 0x65}));
  // Only 0 and the kind: 02 06 00 01; 02^06 = 04, ^01 = 05.
  EXPECT_EQ((Bytes{0x02, 0x06, 0x00, 0x01, 0x05}), answer);

  // Nine payload bytes instead of ten. Checksum: 09^02 = 0B, ^01 = 0A,
  // ^6B = 61.
  EXPECT_EQ(4, Handle({0x09, 0x02, 0x00, 0x01, 0x6B, 0x00, 0x00, 0x00, 0x00,
                       0x00, 0x00, 0x61}));
  // Only 0: 01 06 00; 01^06 = 07.
  EXPECT_EQ((Bytes{0x01, 0x06, 0x00, 0x07}), answer);
}

// ---- Authorisation and commands -------------------------------------------

// "5" and "HarrowDynamoZEP" with its NUL; n = 17 = 0x11. Checksum: 11^01 =
// 10, ^35 = 25, H 6D, a 0C, r 7E, r 0C, o 63, w 14, D 50, y 29, n 47, a 26,
// m 4B, o 24, Z 7E, E 3B, P 6B, NUL 6B.
const Bytes kPresentLiteral = {0x11, 0x01, 0x35, 'H', 'a',  'r', 'r',
                               'o',  'w',  'D',  'y', 'n',  'a', 'm',
                               'o',  'Z',  'E',  'P', 0x00, 0x6B};
// Sub-command 2: 01^01 = 00, ^02 = 02.
const Bytes kCancel = {0x01, 0x01, 0x02, 0x02};
// Sub-command 0x20: 00^20 = 20.
const Bytes kTest = {0x01, 0x01, 0x20, 0x20};

TEST_F(ExternalFramesTest, ACommandNeedsItsOwnLiteralFrameBeforeIt) {
  // Without a "5" frame nothing is made.
  EXPECT_EQ(kExternalLongAnswer, Handle(kCancel));
  EXPECT_EQ("", Command());
  EXPECT_EQ("External Size:1 ID:01 Length:1 CMD:02 00 00\r\n", Console());

  // "5" itself makes nothing; the first command after it is carried out,
  // the second is not.
  EXPECT_EQ(kExternalLongAnswer, Handle(kPresentLiteral));
  EXPECT_EQ("", Command());
  EXPECT_EQ("External Size:17 ID:01 Length:17 CMD:35 48 61\r\n", Console());
  Handle(kCancel);
  EXPECT_EQ("&C\r", Command());
  Handle(kCancel);
  EXPECT_EQ("", Command());

  // Queries and dropped frames between leave the authorisation alone.
  Handle(kPresentLiteral);
  Handle(kSeverityAndStampQuery);
  EXPECT_EQ(-1, Handle({0x01, 0x01, 0x20, 0x21}));  // wrong checksum
  Handle(kTest);
  EXPECT_EQ("T\r", Command());

  // An unknown sub-command uses the authorisation up and makes nothing.
  Handle(kPresentLiteral);
  Handle({0x01, 0x01, 0x07, 0x07});  // 00^07 = 07
  EXPECT_EQ("", Command());
  Handle(kCancel);
  EXPECT_EQ("", Command());
}

TEST_F(ExternalFramesTest, AWrongOrShortLiteralTakesTheAuthorisationAway) {
  // The literal ending in "Q" (51) instead of "P" (50): 6B^50^51 = 6A.
  Bytes wrong = kPresentLiteral;
  wrong[17] = 'Q';
  wrong[19] = 0x6A;
  Handle(kPresentLiteral);
  Handle(wrong);
  Handle(kCancel);
  EXPECT_EQ("", Command());

  // The literal without its NUL (n = 16): 6B^11^10 = 6A. Only 15 bytes
  // follow the sub-command, fewer than the 16 compared.
  Bytes short_literal(kPresentLiteral.begin(), kPresentLiteral.begin() + 18);
  short_literal[0] = 0x10;
  short_literal.push_back(0x6A);
  Handle(kPresentLiteral);
  Handle(short_literal);
  Handle(kCancel);
  EXPECT_EQ("", Command());
}

TEST_F(ExternalFramesTest, GroupScheduleInWholeMinutesRoundedUp) {
  // Sub-command 5, group 5, byte 2 unused, v = 00 5A = 90 s -> m = 2.
  // Checksum: 05^01 = 04, ^05 = 01, ^05 = 04, ^5A = 5E.
  Handle(kPresentLiteral);
  Handle({0x05, 0x01, 0x05, 0x05, 0x00, 0x00, 0x5A, 0x5E});
  EXPECT_EQ("E05S02X\r", Command());

  // Group 12, v = 0E 11 = 3601 s -> 60.02 min -> 61. Checksum: 04^05 = 01,
  // ^0C = 0D, ^0E = 03, ^11 = 12.
  Handle(kPresentLiteral);
  Handle({0x05, 0x01, 0x05, 0x0C, 0x00, 0x0E, 0x11, 0x12});
  EXPECT_EQ("E12S61X\r", Command());

  // v = 17 34 = 5940 s = 99 min, the most two digits hold. Checksum:
  // 04^05 = 01, ^05 = 04, ^17 = 13, ^34 = 27.
  Handle(kPresentLiteral);
  Handle({0x05, 0x01, 0x05, 0x05, 0x00, 0x17, 0x34, 0x27});
  EXPECT_EQ("E05S99X\r", Command());
  // v = 17 35 = 5941 s -> 100 min: "E05S100X" would be read as 10 minutes
  // and the letter "0", so nothing is sent. Checksum: 27^34^35 = 26.
  Handle(kPresentLiteral);
  Handle({0x05, 0x01, 0x05, 0x05, 0x00, 0x17, 0x35, 0x26});
  EXPECT_EQ("", Command());

  // Too short to hold the time: nothing, and the authorisation is used up.
  // 05 05 00; checksum: 03^01 = 02, ^05 = 07, ^05 = 02.
  Handle(kPresentLiteral);
  EXPECT_EQ(kExternalLongAnswer, Handle({0x03, 0x01, 0x05, 0x05, 0x00, 0x02}));
  EXPECT_EQ("", Command());
  Handle(kCancel);
  EXPECT_EQ("", Command());
}

// ---- The 258-byte answer --------------------------------------------------

TEST_F(ExternalFramesTest, CommandFramesAndUnknownIdsGetTheRequestPadded) {
  // The request with length byte FF, then zeros, then the checksum. The
  // request's own bytes XOR to 0 (its checksum included), so the answer's
  // checksum is the old length byte ^ FF: 01^FF = FE.
  Bytes expected(kExternalLongAnswer, 0x00);
  expected[0] = 0xFF;
  expected[1] = 0x01;
  expected[2] = 0x02;
  expected[3] = 0x02;
  expected[257] = 0xFE;
  EXPECT_EQ(kExternalLongAnswer, Handle(kCancel));
  EXPECT_EQ(expected, answer);

  // Unknown ID 7 with payload 09: 01^07 = 06, ^09 = 0F; the ID stays.
  EXPECT_EQ(kExternalLongAnswer, Handle({0x01, 0x07, 0x09, 0x0F}));
  EXPECT_EQ(0x07, answer[1]);
  EXPECT_EQ(0x09, answer[2]);
  EXPECT_EQ(0x0F, answer[3]);
  EXPECT_EQ(0xFE, answer[257]);
  EXPECT_EQ("External Size:1 ID:07 Length:1 CMD:09 00 00\r\n", Console());
}

TEST_F(ExternalFramesTest, TheAnswerNeverCarriesBytesBeyondTheRequest) {
  // A receive buffer with an earlier, longer datagram still in it: only the
  // four bytes received now are the request.
  uint8_t buffer[64];
  std::memset(buffer, 0xA5, sizeof buffer);
  std::memcpy(buffer, kCancel.data(), kCancel.size());
  ASSERT_EQ(kExternalLongAnswer,
            HandleExternalFrame(session, sources, buffer, 4, &outcome));
  for (int i = 4; i < kExternalLongAnswer - 1; ++i) {
    ASSERT_EQ(0x00, outcome.answer[i]) << i;
  }
  EXPECT_EQ(0xFE, outcome.answer[257]);
}

// ---- Malformed frames -----------------------------------------------------

TEST_F(ExternalFramesTest, MalformedFramesAreDroppedWithoutAnAnswer) {
  const Bytes dropped[] = {
      {},
      {0x01, 0x02},
      // n = 0: three bytes are too short even with the right checksum.
      {0x00, 0x02, 0x02},
      // The length byte says 5, four bytes came.
      {0x05, 0x02, 0x42, 0x45},
      // The length byte says 1, five bytes came.
      {0x01, 0x02, 0x43, 0x40, 0x00},
      // Wrong checksum (02 is right).
      {0x01, 0x01, 0x02, 0x03},
      // A datagram that fills the whole receive buffer.
      Bytes(kExternalReceiveSize, 0xFF),
  };
  for (const Bytes& frame : dropped) {
    EXPECT_EQ(-1, Handle(frame)) << frame.size();
    EXPECT_EQ("", Console());
    EXPECT_EQ("", Command());
    EXPECT_EQ(0, outcome.answer_length);
  }
  EXPECT_EQ(-1, HandleExternalFrame(session, sources, nullptr, 4, &outcome));
}

}  // namespace
}  // namespace zep
