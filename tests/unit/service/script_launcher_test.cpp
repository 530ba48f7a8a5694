// The service's launcher: a missing script is said once (a trace line and
// status record 130) until it has run again.
#include "events/script_launcher.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "process.h"
#include "test_context.h"

namespace zep {
namespace {

using Strings = std::vector<std::string>;

// Stands for the system launcher: starts nothing, or says it did.
class FixedLauncher : public Launcher {
 public:
  int Launch(const std::string&, const std::vector<std::string>&) override {
    return result;
  }
  int result = 0;
};

TEST(ServiceLauncherTest, AMissingScriptIsSaidOnceUntilItRunsAgain) {
  TestContext records(kWithLauncher);
  FixedLauncher system;
  ServiceLauncher launcher(&records.context, &system);
  const char* name = "zep_absent_script.bat";
  const std::string path =
      CurrentDirectory() + (PathSeparator() == '\\' ? "\\zep_absent_script.bat"
                                                    : "/zep_absent_script.sh");
  const std::string record = "status.bat|2|130|Installation problem|" + path +
                             "|the script is missing; nothing was run";
  EXPECT_EQ(0, launcher.Launch(name, {}));
  EXPECT_EQ(0, launcher.Launch(name, {"1"}));
  EXPECT_EQ(Strings{record}, records.launcher.Runs());

  system.result = 1;  // put back
  EXPECT_EQ(1, launcher.Launch(name, {}));
  system.result = 0;  // gone again
  EXPECT_EQ(0, launcher.Launch(name, {}));
  EXPECT_EQ((Strings{record, record}), records.launcher.Runs());

  // The record is a run of status.bat: its own absence is only traced.
  EXPECT_EQ(0, launcher.Launch("status.bat", {}));
  EXPECT_EQ(2u, records.launcher.Runs().size());
}

}  // namespace
}  // namespace zep
