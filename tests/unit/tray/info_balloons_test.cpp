#include "info_balloons.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "text_format.h"
#include "tray_ids.h"

namespace zep {
namespace {

// The service's information items; entries it lacks are not answered.
class ItemService : public ServiceQueries {
 public:
  std::map<int, std::string> items;
  int RequestText(int table, int identifier, int, std::string* text) override {
    auto found = items.find(identifier);
    if (table != kKindInfo || found == items.end()) return -1;
    *text = found->second;
    return static_cast<int>(text->size());
  }
  int RequestFrame(uint8_t*, int, int) override { return -1; }
};

std::unique_ptr<MessageTables> NoTexts() {
  auto tables = std::make_unique<MessageTables>();
  for (auto& r : tables->categories) r.identifier = 9999;
  return tables;
}

InfoBalloon Build(int command, const MessageTables& tables,
                  ServiceQueries& service, const std::string& version = "") {
  InfoBalloon balloon;
  EXPECT_TRUE(BuildInfoBalloon(command, tables, service, version, &balloon));
  return balloon;
}

TEST(InfoBalloonsTest, FirstPercentSOnlyAndNothingElseIsAFormat) {
  EXPECT_EQ(SubstituteValue("Model : %s", "BX50"), "Model : BX50");
  EXPECT_EQ(SubstituteValue("%n%s %s %d", "v"), "%nv %s %d");
  EXPECT_EQ(SubstituteValue("No value", "v"), "No value");
  EXPECT_EQ(SubstituteValue("%s%%", "80"), "80%%");
}

TEST(InfoBalloonsTest, EveryBalloonWithEveryEntryKnown) {
  auto tables = NoTexts();
  ItemService service;
  service.items = {{0, "BX50F"}, {1, "S123"}, {4, "500"}, {5, "300"},
                   {6, "100"}, {7, "80"},    {10, "0.3"}, {11, "25.0"}};
  struct Case {
    int command;
    const char* title;
    const char* text;
  } cases[] = {
      {ZEPG_CMD_SYSTEM, "System Information",
       "Model : BX50F\r\nS/N   : S123\r\nPower : 0.3KVA\r\nTemp  : 25.0deg C"},
      {ZEPG_CMD_RATED, "Rated Information",
       "Capa  : 500VA\r\nPower : 300W\r\nVolt  : 100V"},
      {ZEPG_CMD_BATTERY, "Battery Information", "Remaining : 80%"},
      {ZEPG_CMD_VERSION, "Version", "Product : 1.1.0.2"},
  };
  for (const Case& c : cases) {
    InfoBalloon b = Build(c.command, *tables, service, "1.1.0.2");
    EXPECT_EQ(b.title, c.title);
    EXPECT_EQ(b.text, c.text);
  }
  InfoBalloon none;
  EXPECT_FALSE(BuildInfoBalloon(313, *tables, service, "", &none));
}

TEST(InfoBalloonsTest, ShortSerialNumberAndTheServiceGone) {
  auto tables = NoTexts();
  ItemService service;
  service.items = {{0, "B"}, {1, "S"}};
  EXPECT_EQ(Build(ZEPG_CMD_SYSTEM, *tables, service).text,
            "Model : B\r\nPower : Unknown\r\nTemp  : Unknown");
  ItemService gone;
  EXPECT_EQ(Build(ZEPG_CMD_SYSTEM, *tables, gone).text,
            "Model : Unknown\r\nPower : Unknown\r\nTemp  : Unknown");
  EXPECT_EQ(Build(ZEPG_CMD_VERSION, *tables, gone, "").text,
            "Product : Unknown");
}

TEST(InfoBalloonsTest, FormatsAndUnknownFromTheCategoryTable) {
  auto tables = NoTexts();
  tables->categories[0].identifier = 111;
  CopyText(tables->categories[0].first_text, kMessageTextSize, "%s is %s %n");
  tables->categories[1].identifier = 107;
  CopyText(tables->categories[1].first_text, kMessageTextSize, "--");
  tables->categories[2].identifier = 114;
  CopyText(tables->categories[2].first_text, kMessageTextSize, "No temperature");
  ItemService service;
  service.items = {{0, "BX50"}};
  EXPECT_EQ(Build(ZEPG_CMD_SYSTEM, *tables, service).text,
            "BX50 is %s %n\r\nPower : --\r\nNo temperature");
}

}  // namespace
}  // namespace zep
