// The benchmark's harness: the scratch installation it lays out, how it
// starts and stops the two programs (played here by small shell scripts
// that record what they were given), and the readers of a growing log and
// of the machine's bound ports.
#include "bench_processes.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "log_follower.h"
#include "proc_figures.h"

namespace zep {
namespace bench {
namespace {

namespace fs = std::filesystem;

void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

void WriteScript(const fs::path& path, const std::string& body) {
  WriteFile(path, "#!/bin/sh\n" + body);
  fs::permissions(path, fs::perms::owner_all);
}

// Waits up to 10 s for `path` to hold `text`.
bool WaitForText(const fs::path& path, const std::string& text) {
  for (int waited = 0; waited < 10000; waited += 20) {
    if (ReadTextFile(path.string()).find(text) != std::string::npos) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

// A folder standing for the build's bin directory.
class FakeBin : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(bin_.Create("test-bin", &error)) << error;
  }
  fs::path Bin() const { return fs::path(bin_.path()); }

  RunDirectory bin_;
};

TEST_F(FakeBin, InstallationHoldsProgramsScriptsMessagesAndItsOwnConf) {
  for (const char* name :
       {"zeps", "libserlink32.so", "status.sh", "event_en.msg", "notes.txt"}) {
    WriteFile(Bin() / name, name);
  }
  std::string error;
  RunDirectory dir;
  ASSERT_TRUE(dir.Create("test-run", &error)) << error;
  ASSERT_TRUE(PrepareInstallation(bin_.path(), dir, "/dev/pts/7", 1, &error))
      << error;
  for (const char* name :
       {"zeps", "libserlink32.so", "status.sh", "event_en.msg"}) {
    EXPECT_EQ(name, ReadTextFile(dir.File(name))) << name;
  }
  EXPECT_FALSE(fs::exists(dir.File("notes.txt")));
  EXPECT_EQ(
      "[PRODUCT]\nZEP_VERSION=1.1.0.2\n[CONFIG]\nZEP_PORT=/dev/pts/7\n"
      "ZEP_MON_CYCLE=1\n",
      ReadTextFile(dir.File("ZEP.conf")));

  // Cycle 0: the service's default, so no ZEP_MON_CYCLE line.
  ASSERT_TRUE(PrepareInstallation(bin_.path(), dir, "/dev/pts/8", 0, &error));
  EXPECT_EQ("[PRODUCT]\nZEP_VERSION=1.1.0.2\n[CONFIG]\nZEP_PORT=/dev/pts/8\n",
            ReadTextFile(dir.File("ZEP.conf")));

  // Without the service there is nothing to run.
  fs::remove(Bin() / "zeps");
  EXPECT_FALSE(PrepareInstallation(bin_.path(), dir, "/dev/pts/7", 1, &error));
  EXPECT_NE(std::string::npos, error.find("zeps")) << error;
}

TEST(RunDirectory, RemovedAtTheEndUnlessKept) {
  std::string error;
  std::string removed;
  std::string kept;
  {
    RunDirectory dir;
    ASSERT_TRUE(dir.Create("gone", &error)) << error;
    WriteFile(dir.File("inside.txt"), "x");
    removed = dir.path();
    RunDirectory keep;
    ASSERT_TRUE(keep.Create("kept", &error)) << error;
    keep.Keep();
    kept = keep.path();
  }
  EXPECT_FALSE(fs::exists(removed));
  EXPECT_TRUE(fs::exists(kept));
  fs::remove_all(kept);
}

TEST_F(FakeBin, ServiceRunsInDebugModeWithoutOutsideSettingsAndStopsOnCtrlC) {
  // Settings of the caller's own must not reach the service.
  setenv("ZEP_MON_CYCLE", "5", 1);
  setenv("NOTIFY_SOCKET", "/run/systemd/notify", 1);
  RunDirectory dir;
  std::string error;
  ASSERT_TRUE(dir.Create("test-service", &error)) << error;
  WriteScript(dir.File("zeps"),
              "dir=$(dirname \"$0\")\n"
              "trap 'echo INT >> \"$dir/record\"; exit 3' INT\n"
              "echo \"args $*\" > \"$dir/record.tmp\"\n"
              "env | grep -E '^(ZEP_|NOTIFY_SOCKET)' | sort "
              ">> \"$dir/record.tmp\"\n"
              "mv \"$dir/record.tmp\" \"$dir/record\"\n"
              "while :; do sleep 0.05; done\n");
  ServiceProcess service;
  ASSERT_TRUE(service.Start(dir, &error)) << error;
  ASSERT_TRUE(WaitForText(dir.File("record"), "args"));
  EXPECT_TRUE(service.Running());
  EXPECT_EQ(3, service.Stop());
  EXPECT_FALSE(service.Running());
  EXPECT_EQ("args -debug\nZEP_DRY_RUN=1\nINT\n",
            ReadTextFile(dir.File("record")));
  unsetenv("ZEP_MON_CYCLE");
  unsetenv("NOTIFY_SOCKET");
}

TEST_F(FakeBin, SimulatorGivesItsTerminalWhenReadyOrItsErrorWhenNot) {
  const fs::path record = Bin() / "record";
  WriteScript(Bin() / "upssim", "echo \"$*\" > \"" + record.string() +
                                    "\"\n"
                                    "echo /dev/pts/99\necho ready\n"
                                    "trap 'exit 0' TERM\n"
                                    "while :; do sleep 0.05; done\n");
  SimulatorProcess simulator;
  std::string error;
  ASSERT_TRUE(simulator.Start((Bin() / "upssim").string(), "text", 2400,
                              "/tmp/x.log", (Bin() / "sim.err").string(),
                              &error))
      << error;
  EXPECT_EQ("/dev/pts/99", simulator.device());
  EXPECT_EQ("--protocol text --baud 2400 --log /tmp/x.log --state normal\n",
            ReadTextFile(record.string()));
  const pid_t pid = simulator.pid();
  simulator.Stop();
  EXPECT_EQ(-1, simulator.pid());
  EXPECT_NE(0, kill(pid, 0));  // ended and reaped

  WriteScript(Bin() / "broken", "echo 'no terminal' >&2\nexit 1\n");
  SimulatorProcess broken;
  EXPECT_FALSE(broken.Start((Bin() / "broken").string(), "text", 2400,
                            "/tmp/x.log", (Bin() / "broken.err").string(),
                            &error));
  EXPECT_EQ("upssim ended at start: no terminal\n", error);
}

TEST_F(FakeBin, FollowerReadsWhatTheFileGains) {
  const std::string log = (Bin() / "exchange.log").string();
  LogFollower follower(log);
  WriteFile(log, "10:00:00.000 rx \"&S1\\r\"\n10:00:00.201 rx \"QQ");
  follower.Update();
  EXPECT_EQ(0u, follower.counter().command_gaps_ms().size());
  std::ofstream(log, std::ios::app) << "\\r\"\n10:00:00.452 rx \"&R\\r\"\n";
  follower.Update();
  EXPECT_EQ((std::vector<int64_t>{201, 251}),
            follower.counter().command_gaps_ms());
}

TEST(BoundUdpPorts, SeesASocketOfThisProcess) {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(0, bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address));
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  const int port = ntohs(address.sin_port);
  EXPECT_EQ((std::vector<int>{port}), BoundUdpPorts(port, port));
  close(fd);
  EXPECT_TRUE(BoundUdpPorts(port, port).empty());
}

}  // namespace
}  // namespace bench
}  // namespace zep
