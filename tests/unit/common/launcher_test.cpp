// The launcher's portable rules: where the argument list ends, how the
// Windows command line is quoted, and which starts are refused before any
// process is made. Expected lines are written out by hand.
#include "launcher.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scratch_files.h"

namespace zep {
namespace {

using Args = std::vector<std::string>;

TEST(ScriptArgumentsTest, ListEndsAtTheFirstNullOrEmptyArgument) {
  EXPECT_EQ((Args{"one", "two"}), ScriptArguments({"one", "two", "", "four"}));
  EXPECT_EQ((Args{"one"}), ScriptArguments({"one", nullptr, "three"}));
  EXPECT_EQ((Args{}), ScriptArguments({"", "two"}));
  EXPECT_EQ((Args{"1", "100", "a b"}), ScriptArguments({"1", "100", "a b"}));
  EXPECT_EQ((Args{"one", "two"}),
            CutScriptArguments({"one", "two", "", "four"}));
  EXPECT_EQ((Args{}), CutScriptArguments({}));
}

TEST(BuildScriptCommandLineTest, QuotesThePathAndArgumentsWithBlanks) {
  EXPECT_EQ("\"C:\\ZEP\\status.bat\"",
            BuildScriptCommandLine("C:\\ZEP", "status.bat", {}));
  EXPECT_EQ("\"C:\\ZEP\\status.bat\" 1 100 \"Start Service\" ZEPVer",
            BuildScriptCommandLine("C:\\ZEP", "status.bat",
                                   {"1", "100", "Start Service", "ZEPVer"}));
  // The directory itself may hold blanks: it is inside the path's quotes.
  EXPECT_EQ("\"C:\\Program Files\\ZEP\\event.bat\" 1 3 3368",
            BuildScriptCommandLine("C:\\Program Files\\ZEP", "event.bat",
                                   {"1", "3", "3368"}));
}

TEST(BuildScriptCommandLineTest, InterpreterCharactersCannotEscapeTheArgument) {
  // Texts from the message files or the UPS must stay one argument each and
  // must never reach the interpreter as operators.
  EXPECT_EQ("\"D:\\z\\s.bat\" \"Fire&Smoke\" \"a|b\" \"x>y\" \"(c)\"",
            BuildScriptCommandLine("D:\\z", "s.bat",
                                   {"Fire&Smoke", "a|b", "x>y", "(c)"}));
  EXPECT_EQ("\"D:\\z\\s.bat\" \"a,b\" \"c;d\" \"e=f\" \"^g\" \"t\tu\"",
            BuildScriptCommandLine("D:\\z", "s.bat",
                                   {"a,b", "c;d", "e=f", "^g", "t\tu"}));
  // A double quote cannot be passed on; it becomes a single quote, so it
  // cannot close the argument's quotes early.
  EXPECT_EQ("\"D:\\z\\s.bat\" 5' \"a 'b'&c\"",
            BuildScriptCommandLine("D:\\z", "s.bat", {"5\"", "a \"b\"&c"}));
  // Plain texts, digits and the usual punctuation of a version stay bare.
  EXPECT_EQ("\"D:\\z\\s.bat\" 1.1.0.2 COM1 2400bps 50%",
            BuildScriptCommandLine("D:\\z", "s.bat",
                                   {"1.1.0.2", "COM1", "2400bps", "50%"}));
}

TEST(BuildScriptCommandLineTest, LongListsAreNeverCut) {
  // Far beyond the 264 characters of a fixed buffer: 300 arguments of 40
  // characters each. Length: 1 + 6 + 1 + 5 + 1 (the quoted path "C:\ZEP\s.bat"
  // is 14) plus 300 x 41.
  Args args(300, std::string(40, 'x'));
  args.back() = std::string(39, 'x') + "E";
  std::string line = BuildScriptCommandLine("C:\\ZEP", "s.bat", args);
  EXPECT_EQ(14u + 300u * 41u, line.size());
  EXPECT_EQ('E', line.back());
}

TEST(LaunchScriptTest, RefusesWhatCannotBeAScriptOfTheInstallation) {
  ScratchDir dir;
  ASSERT_TRUE(dir.ok());
  std::string directory = dir.Directory();
  directory.pop_back();
  EXPECT_EQ(0, LaunchScript(nullptr, {"1"}));
  EXPECT_EQ(0, LaunchScriptIn(directory, "", {}));
  EXPECT_EQ(0, LaunchScriptIn(directory, nullptr, {}));
  // Every caller names a bare file; anything with a directory part is
  // refused rather than run from elsewhere.
  EXPECT_EQ(0, LaunchScriptIn(directory, "../status.bat", {}));
  EXPECT_EQ(0, LaunchScriptIn(directory, "sub\\status.bat", {}));
  EXPECT_EQ(0, LaunchScriptIn(directory, "C:status.bat", {}));
  EXPECT_EQ(0, LaunchScriptIn("", "status.bat", {}));
  // A script that is not there is a failed start.
  EXPECT_EQ(0, LaunchScriptIn(directory, "missing.bat", {"1"}));
  EXPECT_EQ(0, SystemLauncher().Launch("no-such-script-here.bat", {"1"}));
}

}  // namespace
}  // namespace zep
