// The status records of the service host: the level and code as numbers,
// the texts from the message files or the built-in defaults, and the end of
// the list at the first missing text.
#include "events/status_records.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "../common/scratch_files.h"
#include "host_recorders.h"
#include "process.h"
#include "protocol/event_table.h"
#include "text_format.h"

namespace zep {
namespace {

using Strings = std::vector<std::string>;

class StatusRecordsTest : public ::testing::Test {
 protected:
  StatusRecordsTest() : tables_(new MessageTables) {}

  void AddCategory(int identifier, const char* text) {
    MessageRecord& record = tables_->categories[used_++];
    record.identifier = identifier;
    CopyText(record.first_text, sizeof record.first_text, text);
  }

  void AddLevel(int identifier, const char* text) {
    MessageRecord& record = tables_->levels[levels_used_++];
    record.identifier = identifier;
    CopyText(record.first_text, sizeof record.first_text, text);
  }

  void SetItem(int slot, const char* text) {
    SetInfoString(&tables_->info_strings, slot, text);
  }

  RecordingLauncher launcher_;
  std::unique_ptr<MessageTables> tables_;
  int used_ = 0;
  int levels_used_ = 0;
  // Cleared for the test, and its earlier value put back.
  EnvironmentGuard version_{{"ZEP_VERSION"}};
};

TEST_F(StatusRecordsTest, LevelAndCodeAsNumbersAndTextsUpToTheFirstMissing) {
  RunStatusScript(launcher_, 3, 12, "Fault", "Battery");
  RunStatusScript(launcher_, 2, 4095, "a", "", "c");
  RunStatusScript(launcher_, 1, -1, nullptr, "b");
  RunStatusScript(launcher_, 1, 110, "w", "x", "y", "z");
  EXPECT_EQ((Strings{"status.bat|3|12|Fault|Battery", "status.bat|2|4095|a",
                     "status.bat|1|-1", "status.bat|1|110|w|x|y|z"}),
            launcher_.Runs());
}

TEST_F(StatusRecordsTest, FixedRecordsUseTheDefaultsWithoutMessageFiles) {
  StartServiceRecord(launcher_, *tables_);
  StopServiceRecord(launcher_, *tables_);
  ShutdownStartRecord(launcher_, *tables_);
  // Without ZEP_VERSION the start record has no fifth argument.
  EXPECT_EQ((Strings{"status.bat|1|100|Start Service|ZEPVersion Information",
                     "status.bat|1|101|Stop Service",
                     "status.bat|1|103|Start to Shutdown"}),
            launcher_.Runs());
}

TEST_F(StatusRecordsTest, FixedRecordsTakeTheCategoryTextsWhenLoaded) {
  AddCategory(107, "Unknown text");  // not used: every record has a default
  AddCategory(100, "Service started");
  AddCategory(105, " version");
  AddCategory(101, "Service stopped");
  AddCategory(103, "Shutting down");
  PutEnvironmentText("ZEP_VERSION=1.1.0.2");
  StartServiceRecord(launcher_, *tables_);
  StopServiceRecord(launcher_, *tables_);
  ShutdownStartRecord(launcher_, *tables_);
  EXPECT_EQ((Strings{"status.bat|1|100|Service started|ZEP version|1.1.0.2",
                     "status.bat|1|101|Service stopped",
                     "status.bat|1|103|Shutting down"}),
            launcher_.Runs());
}

TEST_F(StatusRecordsTest, MissingVersionCategoryFallsBackToItsDefaultOnly) {
  AddCategory(100, "Started");
  PutEnvironmentText("ZEP_VERSION=2.0");
  StartServiceRecord(launcher_, *tables_);
  EXPECT_EQ((Strings{"status.bat|1|100|Started|ZEPVersion Information|2.0"}),
            launcher_.Runs());
}

TEST_F(StatusRecordsTest, PortRecordNamesThePortAndSpeedInShortFields) {
  PortRecord(launcher_, 3, 2400);
  PortRecord(launcher_, 256, 19200);
  // Each text is at most 9 characters: "COM" and six digits, nine digits.
  PortRecord(launcher_, 1234567890, 1234567890);
  EXPECT_EQ((Strings{"status.bat|1|1|Port|COM3|2400bps",
                     "status.bat|1|1|Port|COM256|19200bps",
                     "status.bat|1|1|Port|COM123456|123456789"}),
            launcher_.Runs());
}

TEST_F(StatusRecordsTest, SystemInformationTakesTheItemsOfTheProtocol) {
  SetItem(0, "T-PWR15J1");
  SetItem(1, "1500VA/1350W");
  SetItem(2, "1.2");
  SetItem(3, "15001");
  SystemInformationRecord(launcher_, *tables_, 0);  // ASCII UPS: 2 and 3
  SystemInformationRecord(launcher_, *tables_, 1);  // binary UPS: 1 and 2
  AddCategory(110, "Identified");
  SetItem(1, "");  // an empty item ends the list
  SystemInformationRecord(launcher_, *tables_, 1);
  EXPECT_EQ(
      (Strings{"status.bat|1|110|System Information|T-PWR15J1|1.2|15001",
               "status.bat|1|110|System Information|T-PWR15J1|1500VA/1350W|1.2",
               "status.bat|1|110|Identified|T-PWR15J1"}),
      launcher_.Runs());
}

TEST_F(StatusRecordsTest, RatedInformationAppendsUnitsAndCutsLongItems) {
  RatedInformationRecord(launcher_, *tables_);  // items not set yet
  SetItem(4, "1500");
  SetItem(5, "1350");
  SetItem(6, "100");
  RatedInformationRecord(launcher_, *tables_);
  SetItem(4, "12345678");   // "12345678VA" is 10 characters: cut to 9
  SetItem(5, "123456789");  // the unit does not fit at all
  SetItem(6, "a very long rated voltage text");
  RatedInformationRecord(launcher_, *tables_);
  EXPECT_EQ((Strings{"status.bat|1|120|Rated Information|VA|W|V",
                     "status.bat|1|120|Rated Information|1500VA|1350W|100V",
                     "status.bat|1|120|Rated Information|12345678V|123456789|"
                     "a very lo"}),
            launcher_.Runs());
}

TEST_F(StatusRecordsTest, CategoryRecordTakesTheLevelAndCategoryTexts) {
  StatusRecordCounters counters;
  AddLevel(2, "Caution");
  AddCategory(21, "Input power");
  EmitCategoryRecord(launcher_, *tables_, &counters, 2, 21);
  EmitCategoryRecord(launcher_, *tables_, &counters, 3, 50);
  // Out of range: neither a record nor a counter.
  EmitCategoryRecord(launcher_, *tables_, &counters, 3, 64);
  EmitCategoryRecord(launcher_, *tables_, &counters, 3, -1);
  EXPECT_EQ((Strings{"status.bat|2|21|Caution|Input power",
                     "status.bat|3|50|????|????"}),
            launcher_.Runs());
  EXPECT_EQ(1, counters.counts[21].load());
  EXPECT_EQ(1, counters.counts[50].load());
}

TEST_F(StatusRecordsTest, OnlyOneOfTwoThreadsMakesTheRecordOfACategory) {
  StatusRecordCounters counters;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([this, &counters] {
      for (int i = 0; i < 200; ++i) {
        EmitCategoryRecord(launcher_, *tables_, &counters, 2, 30);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(1u, launcher_.Runs().size());
  EXPECT_EQ(800, counters.counts[30].load());
}

// UpdateStatusRecords on an event table of the test's own. Categories of
// the codes used: 3368 (digit 13) -> 21, 385 -> 21, 2177 -> 22, 3880 -> 50.
class CategoryRecordsTest : public StatusRecordsTest {
 protected:
  void Update() {
    UpdateStatusRecords(launcher_, *tables_, &counters_, events_, summary_,
                        CategoryContext());
  }
  void Summary(int severity, int category) {
    summary_.summary_severity.store(severity);
    summary_.summary_category.store(category);
  }

  ActiveEventTable events_;
  EventSummary summary_;
  StatusRecordCounters counters_;
};

TEST_F(CategoryRecordsTest, RecordWhenActiveAndAgainOnlyAfterInactive) {
  Summary(2, 21);
  SetActiveEvent(events_, 3368, 2, 100);
  SetActiveEvent(events_, 2177, 2, 100);
  Update();
  Update();  // still active: nothing new
  // A higher severity in an active category makes no new record.
  SetActiveEvent(events_, 385, 3, 101);
  Update();
  EXPECT_EQ((Strings{"status.bat|2|21|????|????", "status.bat|2|22|????|????"}),
            launcher_.Runs());

  // 21 ends and begins again between two calls: a second record, at the
  // severity of that moment.
  ClearActiveEvent(events_, 3368, 102);
  ClearActiveEvent(events_, 385, 102);
  Update();
  EXPECT_EQ(0, counters_.counts[21].load());
  SetActiveEvent(events_, 3368, 2, 103);
  Update();
  EXPECT_EQ((Strings{"status.bat|2|21|????|????", "status.bat|2|22|????|????",
                     "status.bat|2|21|????|????"}),
            launcher_.Runs());
}

TEST_F(CategoryRecordsTest, QuietCategoriesSwitchBetweenElevenAndTwelve) {
  Summary(1, 12);
  Update();
  Update();
  Summary(1, 11);
  Update();
  EXPECT_EQ(0, counters_.counts[12].load());
  Summary(1, 12);
  Update();
  // A caution elsewhere: both quiet counters back to 0, so the return to
  // the quiet state is recorded again.
  SetActiveEvent(events_, 2177, 2, 100);
  Summary(2, 22);
  Update();
  EXPECT_EQ(0, counters_.counts[11].load());
  EXPECT_EQ(0, counters_.counts[12].load());
  ClearActiveEvent(events_, 2177, 101);
  Summary(1, 12);
  Update();
  EXPECT_EQ((Strings{"status.bat|1|12|????|????", "status.bat|1|11|????|????",
                     "status.bat|1|12|????|????", "status.bat|2|22|????|????",
                     "status.bat|1|12|????|????"}),
            launcher_.Runs());
}

TEST_F(CategoryRecordsTest,
       QuietCategoryIsNotRecordedAtAHigherSummarySeverity) {
  // Severity 2 with category 12 as the chosen event's category (a caution
  // event of digit 0) is not the quiet state.
  Summary(2, 12);
  Update();
  EXPECT_TRUE(launcher_.Runs().empty());
}

}  // namespace
}  // namespace zep
