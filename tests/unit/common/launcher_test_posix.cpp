// The POSIX launcher against real shell scripts that record what they got:
// the arguments, the directory, the settings, the descriptors and signal
// mask they inherit, and that no finished script is left a zombie.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
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

constexpr int kWaitMs = 15000;  // Generous: only a failing test waits it out.

// Writes its output under a temporary name and renames it, so the test
// never reads half a line.
constexpr char kRecorder[] =
    "#!/bin/sh\n"
    "out=\"$(dirname \"$0\")/args.txt\"\n"
    "{ printf 'n=%s' \"$#\"; for a in \"$@\"; do printf '|%s' \"$a\"; done;"
    " printf '\\n'; } > \"$out.tmp\" && mv \"$out.tmp\" \"$out\"\n";

class LauncherPosixTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    directory_ = dir_.Directory();
    directory_.pop_back();
  }

  // The contents of `name` once it exists, or "<none>" after the wait.
  std::string WaitForFile(const std::string& name) {
    const std::string path = dir_.PathOf(name);
    for (int waited = 0; waited < kWaitMs; waited += 20) {
      std::ifstream in(path);
      if (in) {
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return "<none>";
  }

  ScratchDir dir_;
  std::string directory_;
};

TEST_F(LauncherPosixTest, BatchNamesInAnyCaseAndShellNamesRunTheScript) {
  dir_.Write("rec.sh", kRecorder);
  dir_.Write("UP.sh", kRecorder);
  EXPECT_EQ(1, LaunchScriptIn(directory_, "rec.bat",
                              {"one", "two words", "", "four"}));
  EXPECT_EQ("n=2|one|two words\n", WaitForFile("args.txt"));
  std::filesystem::remove(dir_.PathOf("args.txt"));
  EXPECT_EQ(1, LaunchScriptIn(directory_, "UP.BAT", {"a"}));
  EXPECT_EQ("n=1|a\n", WaitForFile("args.txt"));
  std::filesystem::remove(dir_.PathOf("args.txt"));
  EXPECT_EQ(1, LaunchScriptIn(directory_, "UP.sh", {"b", "c"}));
  EXPECT_EQ("n=2|b|c\n", WaitForFile("args.txt"));
}

TEST_F(LauncherPosixTest, CurrentDirectoryFormFindsTheScriptThere) {
  dir_.Write("status.sh", kRecorder);
  std::string before = CurrentDirectory();
  ASSERT_EQ(0, chdir(directory_.c_str()));
  int started = LaunchScript("status.bat", {"1", "100", "Start Service"});
  ASSERT_EQ(0, chdir(before.c_str()));
  EXPECT_EQ(1, started);
  EXPECT_EQ("n=3|1|100|Start Service\n", WaitForFile("args.txt"));
}

TEST_F(LauncherPosixTest, LongListArrivesWholeAndOversizeIsRefused) {
  dir_.Write("rec.sh", kRecorder);
  // 2000 arguments of 30 characters: about 62 000 characters in all.
  std::vector<std::string> args;
  for (int i = 0; i < 2000; ++i) {
    char head[8];
    std::snprintf(head, sizeof head, "%04d", i);
    args.push_back(head + std::string(26, 'x'));
  }
  EXPECT_EQ(1, LaunchScriptIn(directory_, "rec.bat", args));
  std::string text = WaitForFile("args.txt");
  EXPECT_EQ(0u, text.find("n=2000|0000xx"));
  EXPECT_NE(std::string::npos,
            text.find("|1999" + std::string(26, 'x') + "\n"));
  // One argument beyond the system's own limit for a single argument
  // (131072 bytes on Linux): the start fails, nothing is cut.
  EXPECT_EQ(0,
            LaunchScriptIn(directory_, "rec.bat", {std::string(200000, 'y')}));
}

TEST_F(LauncherPosixTest, ScriptGetsDirectorySettingsAndNothingElse) {
  dir_.Write(
      "env.sh",
      "#!/bin/sh\n"
      "read -r pid comm state ppid pgrp rest < /proc/$$/stat\n"
      // Read with builtins before the shell forks anything: while it forks,
      // the shell blocks signals for a moment itself.
      "while read -r key value; do\n"
      "  [ \"$key\" = SigBlk: ] && blocked=$value\n"
      "done < /proc/$$/status\n"
      "{\n"
      "  echo \"pwd=$(pwd)\"\n"
      "  echo \"setting=$ZEP_TEST_SETTING\"\n"
      "  echo \"stdin=$(readlink /proc/$$/fd/0)\"\n"
      "  echo \"own_group=$([ \"$pgrp\" = \"$$\" ] && echo yes || echo no)\"\n"
      "  echo \"SigBlk:\t$blocked\"\n"
      "  echo \"leaked=$(ls -l /proc/$$/fd | grep -c leak-marker)\"\n"
      "} > \"$(dirname \"$0\")/env.tmp\"\n"
      "mv \"$(dirname \"$0\")/env.tmp\" \"$(dirname \"$0\")/env.txt\"\n");
  EnvironmentGuard guard({"ZEP_TEST_SETTING"});
  ASSERT_EQ(0, PutEnvironmentText("ZEP_TEST_SETTING=abc 1"));
  // A descriptor opened without close-on-exec, as a careless library would.
  int leaky = open(dir_.Write("leak-marker", "x").c_str(), O_RDONLY);
  ASSERT_GE(leaky, 3);
  // The service blocks its console signals in every thread.
  sigset_t blocked, previous;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGINT);
  sigaddset(&blocked, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &blocked, &previous);
  int started = LaunchScriptIn(directory_, "env.bat", {});
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  EXPECT_EQ(1, started);
  std::string text = WaitForFile("env.txt");
  close(leaky);

  std::string canonical = std::filesystem::canonical(directory_).string();
  EXPECT_NE(std::string::npos, text.find("pwd=" + canonical + "\n")) << text;
  EXPECT_NE(std::string::npos, text.find("setting=abc 1\n")) << text;
  EXPECT_NE(std::string::npos, text.find("stdin=/dev/null\n")) << text;
  EXPECT_NE(std::string::npos, text.find("own_group=yes\n")) << text;
  EXPECT_NE(std::string::npos, text.find("SigBlk:\t0000000000000000\n"))
      << text;
  EXPECT_NE(std::string::npos, text.find("leaked=0\n")) << text;
}

// The children of this process that are still known to the system, and how
// many of them are zombies.
void CountChildren(int* all, int* zombies) {
  *all = 0;
  *zombies = 0;
  const std::string self = std::to_string(getpid());
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return;
  while (dirent* entry = readdir(proc)) {
    if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
    std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    size_t close_paren = line.rfind(')');
    if (close_paren == std::string::npos) continue;
    std::istringstream fields(line.substr(close_paren + 2));
    std::string state, ppid;
    fields >> state >> ppid;
    if (ppid != self) continue;
    ++*all;
    if (state == "Z") ++*zombies;
  }
  closedir(proc);
}

TEST_F(LauncherPosixTest, FinishedScriptsAreReapedWithoutAHandler) {
  dir_.Write("quick.sh",
              "#!/bin/sh\necho done > \"$(dirname \"$0\")/done.txt\"\n");
  for (int i = 0; i < 5; ++i) {
    std::filesystem::remove(dir_.PathOf("done.txt"));
    ASSERT_EQ(1, LaunchScriptIn(directory_, "quick.bat", {}));
    ASSERT_EQ("done\n", WaitForFile("done.txt"));
  }
  int all = -1, zombies = -1;
  for (int waited = 0; waited < kWaitMs; waited += 50) {
    CountChildren(&all, &zombies);
    if (all == 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_EQ(0, all);
  EXPECT_EQ(0, zombies);
}

}  // namespace
}  // namespace zep
