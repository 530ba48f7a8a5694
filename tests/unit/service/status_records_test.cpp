// The status records of the service host: the level and code as numbers,
// the texts from the message files or the built-in defaults, and the end of
// the list at the first missing text.
#include "events/status_records.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "host_recorders.h"
#include "process.h"
#include "text_format.h"

namespace zep {
namespace {

using Strings = std::vector<std::string>;

// Clears ZEP_VERSION for the test and puts its earlier value back.
class VersionSetting {
 public:
  VersionSetting() {
    was_set_ = GetEnvironmentValue("ZEP_VERSION", &saved_);
    PutEnvironmentText("ZEP_VERSION=");
  }
  ~VersionSetting() {
    PutEnvironmentText(("ZEP_VERSION=" + (was_set_ ? saved_ : "")).c_str());
  }
  void Set(const std::string& value) {
    PutEnvironmentText(("ZEP_VERSION=" + value).c_str());
  }

 private:
  bool was_set_ = false;
  std::string saved_;
};

class StatusRecordsTest : public ::testing::Test {
 protected:
  StatusRecordsTest() : tables_(new MessageTables) {}

  void AddCategory(int identifier, const char* text) {
    MessageRecord& record = tables_->categories[used_++];
    record.identifier = identifier;
    CopyText(record.first_text, sizeof record.first_text, text);
  }

  RecordingLauncher launcher_;
  std::unique_ptr<MessageTables> tables_;
  int used_ = 0;
  VersionSetting version_;
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
  version_.Set("1.1.0.2");
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
  version_.Set("2.0");
  StartServiceRecord(launcher_, *tables_);
  EXPECT_EQ((Strings{"status.bat|1|100|Started|ZEPVersion Information|2.0"}),
            launcher_.Runs());
}

}  // namespace
}  // namespace zep
