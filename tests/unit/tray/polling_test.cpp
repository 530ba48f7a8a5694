#include "polling.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace zep {
namespace {

// Answers the tray's queries from a script, one answer per query, and
// records what was asked.
class ScriptedService : public ServiceQueries {
 public:
  struct Answer {
    int result;
    std::vector<uint8_t> bytes;  // a text, or a frame's payload
  };
  std::deque<Answer> answers;
  std::vector<std::string> asked;
  std::vector<uint8_t> last_query;

  int RequestText(int table, int identifier, int column,
                  std::string* text) override {
    asked.push_back("text " + std::to_string(table) + " " +
                    std::to_string(identifier) + " " + std::to_string(column));
    Answer a = Next();
    text->assign(a.bytes.begin(), a.bytes.end());
    return a.result;
  }
  int RequestFrame(uint8_t* buffer, int length, int timeout_ms) override {
    asked.push_back("frame " + std::to_string(timeout_ms));
    last_query.assign(buffer, buffer + length);
    Answer a = Next();
    if (!a.bytes.empty()) std::memcpy(buffer, a.bytes.data(), a.bytes.size());
    buffer[a.bytes.size()] = buffer[a.bytes.size() + 1] = 0;
    return a.result;
  }

 private:
  Answer Next() {
    if (answers.empty()) return {-1, {}};
    Answer a = answers.front();
    answers.pop_front();
    return a;
  }
};

ScriptedService::Answer Text(const std::string& text) {
  return {static_cast<int>(text.size()),
          std::vector<uint8_t>(text.begin(), text.end())};
}

// A summary answer: "B", 3, then level, category and time as the service
// writes them (types 3, 4, 5, values most significant byte first).
ScriptedService::Answer Summary(uint32_t level, uint32_t category,
                                uint32_t time) {
  std::vector<uint8_t> p = {0x42, 3};
  const uint32_t values[] = {level, category, time};
  uint8_t type = 3;
  for (uint32_t v : values) {
    p.push_back(type++);
    p.push_back(static_cast<uint8_t>(v >> 24));
    p.push_back(static_cast<uint8_t>(v >> 16));
    p.push_back(static_cast<uint8_t>(v >> 8));
    p.push_back(static_cast<uint8_t>(v));
  }
  return {static_cast<int>(p.size()) + 2, p};
}

TEST(PollingTest, PeriodFromTheSetting) {
  EXPECT_EQ(PollingPeriod(999), 5000);
  EXPECT_EQ(PollingPeriod(1000), 1000);
  EXPECT_EQ(PollingPeriod(-1), 5000);  // not set
}

TEST(PollingTest, ModelOfOneCharacterDoesNotCountAndIsAskedAgain) {
  ScriptedService service;
  service.answers = {Text("X"), Text("BX50")};
  TrayState state;
  TickOutcome first = PollingTick(&state, service);
  EXPECT_FALSE(first.model_learnt);
  EXPECT_EQ(state.identity_state, -1);
  TickOutcome second = PollingTick(&state, service);
  EXPECT_TRUE(second.model_learnt);
  EXPECT_EQ(second.model, "BX50");
  EXPECT_EQ(state.last_message, "BX50");
  EXPECT_EQ(state.identity_state, 0);
  EXPECT_EQ(service.asked,
            (std::vector<std::string>{"text 5 0 0", "text 5 0 0"}));
}

TEST(PollingTest, SummaryQueryAndTheCategoriesThatPost) {
  // "B", 3, then types 3, 4, 5 each with -1.
  const std::vector<uint8_t> query = {0x42, 3,    3,    0xFF, 0xFF, 0xFF,
                                      0xFF, 4,    0xFF, 0xFF, 0xFF, 0xFF,
                                      5,    0xFF, 0xFF, 0xFF, 0xFF};
  struct Case {
    uint32_t category;
    bool posts;
    uint32_t wparam;
  } cases[] = {
      {0xFFFFFFFFu, false, 0},
      {0x7FFF, true, 0x7FFF0002u},
      {0x8000, false, 0},
      {21, true, 0x00150002u},
  };
  for (const Case& c : cases) {
    ScriptedService service;
    service.answers = {Summary(2, c.category, 0x6A000000u)};
    TrayState state;
    state.identity_state = 0;
    TickOutcome out = PollingTick(&state, service);
    EXPECT_EQ(service.last_query, query);
    EXPECT_EQ(service.asked, std::vector<std::string>{"frame 500"});
    EXPECT_EQ(out.post, c.posts) << c.category;
    if (c.posts) {
      EXPECT_EQ(out.wparam, c.wparam);
      EXPECT_EQ(out.lparam, 0x6A000000u);
    }
  }
}

TEST(PollingTest, AnswersOfAnotherShapeOrItemType) {
  uint32_t wparam = 0, lparam = 0;
  // Not "B", or a count other than 3: ignored.
  const uint8_t not_b[] = {0x43, 3, 3, 0, 0, 0, 1, 0, 0};
  EXPECT_FALSE(ReadSummaryAnswer(not_b, 9, &wparam, &lparam));
  const uint8_t two[] = {0x42, 2, 3, 0, 0, 0, 1, 0, 0};
  EXPECT_FALSE(ReadSummaryAnswer(two, 9, &wparam, &lparam));
  // The second item has type 1: reading stops, category and time stay 0.
  const uint8_t stops[] = {0x42, 3, 3, 0, 0, 0, 3, 1, 0, 0, 0, 9, 0, 0};
  ASSERT_TRUE(ReadSummaryAnswer(stops, 14, &wparam, &lparam));
  EXPECT_EQ(wparam, 0x00000003u);
  EXPECT_EQ(lparam, 0u);
}

TEST(PollingTest, OneNoticePerLossThenTheModelAndTheSameSummaryAgain) {
  ScriptedService service;
  service.answers = {Text("BX50"), Summary(1, 11, 1000),
                     {-1, {}},  // the service stops answering
                     {-1, {}},  // model unknown: asked, nothing shown
                     Text("BX50"), Summary(1, 11, 1000)};
  TrayState state;
  PollingTick(&state, service);
  TickOutcome shown = PollingTick(&state, service);
  ASSERT_TRUE(shown.post);
  EXPECT_EQ(shown.wparam, 0x000B0001u);

  TickOutcome lost = PollingTick(&state, service);
  EXPECT_TRUE(lost.post);
  EXPECT_EQ(lost.wparam, 0x0066FFFFu);
  EXPECT_EQ(lost.lparam, 0u);
  EXPECT_EQ(state.identity_state, -1);
  EXPECT_EQ(state.last_event_word, 0xFFFFFFFFu);
  EXPECT_EQ(state.last_event_time, 0xFFFFFFFFu);

  TickOutcome quiet = PollingTick(&state, service);
  EXPECT_FALSE(quiet.post);
  EXPECT_FALSE(quiet.model_learnt);

  EXPECT_TRUE(PollingTick(&state, service).model_learnt);
  TickOutcome again = PollingTick(&state, service);
  EXPECT_TRUE(again.post);
  EXPECT_EQ(again.wparam, 0x000B0001u);
  EXPECT_EQ(service.asked,
            (std::vector<std::string>{"text 5 0 0", "frame 500", "frame 500",
                                      "text 5 0 0", "text 5 0 0",
                                      "frame 500"}));
}

TEST(PollingTest, TraceLineOfTheLostService) {
  EXPECT_EQ(MessageTraceLine(0x111, kServiceLostWord, 0),
            "MSG:00000111 WPARAM:0066FFFF LPARAM:00000000\r\n");
}

}  // namespace
}  // namespace zep
