// The Windows launcher against a real batch file that records the arguments
// it got (the command interpreter runs it, as for every script of the
// service).
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "launcher.h"
#include "process.h"
#include "scratch_files.h"

namespace zep {
namespace {

constexpr int kWaitMs = 20000;  // Generous: only a failing test waits it out.

// %1 and %2 as they arrive (quotes included), %~1 and %~2 without their
// quotes, and the whole list. Written with CRLF line ends.
constexpr char kRecorder[] =
    "@echo off\r\n"
    "echo raw1=[%1] raw2=[%2] 1=[%~1] 2=[%~2] all=[%*]>> \"%~dp0args.txt\"\r\n"
    "exit /b 7\r\n";

// Only the arguments as they arrive: using %~1 unquoted would let the
// recorder itself run what an argument holds.
constexpr char kRawRecorder[] =
    "@echo off\r\n"
    "echo raw1=[%1] raw2=[%2] all=[%*]>> \"%~dp0args.txt\"\r\n";

class LauncherWin32Test : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    directory_ = dir_.Directory();
    directory_.pop_back();
    dir_.Write("rec.bat", kRecorder);
    dir_.Write("raw.bat", kRawRecorder);
  }

  // The first complete line of `name` once it is there, or "<none>".
  std::string WaitForLine(const std::string& name) {
    const std::string path = dir_.PathOf(name);
    for (int waited = 0; waited < kWaitMs; waited += 20) {
      std::ifstream in(path, std::ios::binary);
      if (in) {
        std::stringstream text;
        text << in.rdbuf();
        std::string all = text.str();
        size_t end = all.find("\r\n");
        if (end != std::string::npos) return all.substr(0, end);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return "<none>";
  }

  ScratchDir dir_;
  std::string directory_;
};

TEST_F(LauncherWin32Test, BlankArgumentInQuotesAndListCutAtTheEmptyOne) {
  EXPECT_EQ(1, LaunchScriptIn(directory_, "rec.bat",
                              {"one", "two words", "", "four"}));
  EXPECT_EQ(
      "raw1=[one] raw2=[\"two words\"] 1=[one] 2=[two words] "
      "all=[one \"two words\"]",
      WaitForLine("args.txt"));
}

TEST_F(LauncherWin32Test, OperatorsInAnArgumentDoNotRunAnything) {
  // Unquoted, the "&" would end the batch call and start a command of its
  // own, which would write inj.txt.
  EXPECT_EQ(1,
            LaunchScriptIn(directory_, "raw.bat", {"a&echo>inj.txt", "x,y"}));
  EXPECT_EQ(
      "raw1=[\"a&echo>inj.txt\"] raw2=[\"x,y\"] "
      "all=[\"a&echo>inj.txt\" \"x,y\"]",
      WaitForLine("args.txt"));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(std::filesystem::exists(dir_.PathOf("inj.txt")));
}

TEST_F(LauncherWin32Test, CurrentDirectoryFormAndALongListThatIsNotCut) {
  // 100 arguments of 50 characters: about 5 100 characters, far beyond a
  // 264-character buffer but within what the interpreter takes.
  std::vector<std::string> args;
  for (int i = 0; i < 100; ++i) {
    args.push_back(std::to_string(1000 + i) + std::string(46, 'x'));
  }
  std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(directory_);
  int started = LaunchScriptArgs("rec.bat", args);
  std::filesystem::current_path(before);
  EXPECT_EQ(1, started);
  std::string line = WaitForLine("args.txt");
  EXPECT_EQ(0u, line.find("raw1=[1000xxx"));
  EXPECT_NE(std::string::npos, line.find(" 1099" + std::string(46, 'x') + "]"));
}

TEST_F(LauncherWin32Test, BeyondTheSystemLimitIsRefused) {
  // 33 000 characters cannot be a command line for CreateProcessA, and
  // 9 000 are more than the command interpreter runs a batch file with.
  EXPECT_EQ(0,
            LaunchScriptIn(directory_, "rec.bat", {std::string(33000, 'y')}));
  EXPECT_EQ(0,
            LaunchScriptIn(directory_, "rec.bat", {std::string(9000, 'y')}));
}

}  // namespace
}  // namespace zep
