// The simulator as a whole: its terminal and link, reopening the port, the
// exchange log, switching protocol while it runs.
#include "simulator.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "sim_line.h"

namespace zep {
namespace {

using test::Bytes;
using test::Hex;
using test::SimLine;

class TempDir {
 public:
  TempDir() {
    char name[] = "/tmp/upssim_test_XXXXXX";
    path_ = mkdtemp(name) != nullptr ? name : "";
  }
  ~TempDir() {
    std::error_code error;
    if (!path_.empty()) std::filesystem::remove_all(path_, error);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

std::string ReadLink(const std::string& path) {
  char target[256];
  const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
  return n < 0 ? std::string() : std::string(target, static_cast<size_t>(n));
}

bool HasLineEndingWith(const std::vector<std::string>& lines,
                       const std::string& end) {
  for (const std::string& line : lines) {
    if (line.size() >= end.size() &&
        line.compare(line.size() - end.size(), end.size(), end) == 0) {
      return true;
    }
  }
  return false;
}

TEST(SimulatorTest, LinkPointsAtTheTerminalAndGoesAwayAtStop) {
  TempDir dir;
  SimOptions options;
  options.link_path = dir.path() + "/ttyUPS";
  {
    Simulator sim(options);
    std::string error;
    ASSERT_TRUE(sim.Start(&error)) << error;
    EXPECT_EQ(0u, sim.DevicePath().rfind("/dev/pts/", 0));
    EXPECT_EQ(sim.DevicePath(), ReadLink(options.link_path));
    SimLine line(options.link_path, 2400);
    EXPECT_EQ("00\r", line.Ask("M\r"));
    sim.Stop();
    EXPECT_EQ("", sim.DevicePath());
    struct stat info;
    EXPECT_NE(0, lstat(options.link_path.c_str(), &info));
  }

  // A stale link from an earlier run is replaced.
  ASSERT_EQ(0, symlink("/dev/null", options.link_path.c_str()));
  Simulator again(options);
  std::string error;
  ASSERT_TRUE(again.Start(&error)) << error;
  EXPECT_EQ(again.DevicePath(), ReadLink(options.link_path));
}

TEST(SimulatorTest, CutAnswersAndAReplugKeepTheLinkPath) {
  TempDir dir;
  SimOptions options;
  options.link_path = dir.path() + "/ttyUPS";
  Simulator sim(options);
  std::string error;
  ASSERT_TRUE(sim.Start(&error)) << error;
  SimLine line(options.link_path, 2400);
  // "&S1" normally answers 16 characters; cut, its first 8 and the CR.
  sim.SetCutAnswers(true);
  EXPECT_EQ("00020010\r", line.Ask("&S1\r"));
  sim.SetCutAnswers(false);

  // The old terminal goes dead; a new one answers behind the same link.
  const std::string before = sim.DevicePath();
  ASSERT_TRUE(sim.Replug(&error)) << error;
  EXPECT_NE(before, sim.DevicePath());
  EXPECT_EQ(sim.DevicePath(), ReadLink(options.link_path));
  EXPECT_EQ("", line.Ask("M\r"));
  SimLine plugged(options.link_path, 2400);
  EXPECT_EQ("00\r", plugged.Ask("M\r"));
}

TEST(SimulatorTest, RefusesToReplaceAFileThatIsNoLink) {
  TempDir dir;
  SimOptions options;
  options.link_path = dir.path() + "/precious";
  std::ofstream(options.link_path) << "keep me\n";
  Simulator sim(options);
  std::string error;
  EXPECT_FALSE(sim.Start(&error));
  EXPECT_EQ(options.link_path + " exists and is not a symbolic link", error);
  std::ifstream kept(options.link_path);
  std::string content;
  std::getline(kept, content);
  EXPECT_EQ("keep me", content);
}

TEST(SimulatorTest, ThePortCanBeClosedAndReopenedAgainAndAgain) {
  Simulator sim;
  std::string error;
  ASSERT_TRUE(sim.Start(&error)) << error;
  // The service's search opens the port at each speed in turn, 19200 first.
  const int speeds[] = {19200, 9600, 4800, 2400, 1200, 19200, 9600, 2400};
  int answered = 0;
  for (int speed : speeds) {
    SimLine line(sim.DevicePath(), speed);
    ASSERT_TRUE(line.ok());
    if (speed == 2400) {
      EXPECT_EQ("00\r", line.Ask("M\r"));
      ++answered;
      continue;
    }
    const int ignored = sim.Counters().ignored;
    line.Write("M\r");
    ASSERT_TRUE(
        test::WaitFor([&] { return sim.Counters().ignored == ignored + 1; }));
    EXPECT_EQ("", line.Read(100));
  }
  EXPECT_EQ(2, answered);
  EXPECT_EQ(2, sim.Counters().text_requests["M\r"]);
  EXPECT_EQ(6, sim.Counters().ignored);
  EXPECT_TRUE(HasLineEndingWith(
      sim.LogLines(),
      " -- line at 4800 bps, the UPS runs at 2400 bps: not answered"));
}

TEST(SimulatorTest, LogRecordsEveryExchange) {
  TempDir dir;
  SimOptions options;
  options.log_path = dir.path() + "/exchanges.log";
  Simulator sim(options);
  std::string error;
  ASSERT_TRUE(sim.Start(&error)) << error;
  SimLine line(sim.DevicePath(), 2400);
  line.Ask("&S1\r");
  sim.SetState(SimState::kMainsFailure);
  sim.SetProtocol(SimProtocol::kBinary);
  line.Ask(Bytes("AB 01 33 21"));
  sim.Stop();

  const std::vector<std::string> lines = sim.LogLines();
  EXPECT_TRUE(HasLineEndingWith(lines, " rx \"&S1\\r\""));
  EXPECT_TRUE(HasLineEndingWith(lines, " tx \"000200100101100\\r\""));
  EXPECT_TRUE(HasLineEndingWith(lines, " -- state mains-failure"));
  EXPECT_TRUE(HasLineEndingWith(lines, " rx AB 01 33 21"));
  EXPECT_TRUE(HasLineEndingWith(lines, " tx AB 03 02 81 00 12 BD"));
  // Each line starts with a time stamp "HH:MM:SS.mmm ".
  for (const std::string& l : lines) {
    ASSERT_GE(l.size(), 13u) << l;
    EXPECT_EQ(':', l[2]) << l;
    EXPECT_EQ(':', l[5]) << l;
    EXPECT_EQ('.', l[8]) << l;
    EXPECT_EQ(' ', l[12]) << l;
  }

  // The file holds the same lines.
  std::ifstream file(options.log_path);
  std::vector<std::string> written;
  for (std::string l; std::getline(file, l);) written.push_back(l);
  EXPECT_EQ(lines, written);
}

TEST(SimulatorTest, SwitchingTheProtocolChangesTheLanguageAtOnce) {
  Simulator sim;
  std::string error;
  ASSERT_TRUE(sim.Start(&error)) << error;
  SimLine line(sim.DevicePath(), 2400);
  EXPECT_EQ("NG\r", line.Ask(Bytes("AB 01 33 21 0D")));
  sim.SetProtocol(SimProtocol::kBinary);
  EXPECT_EQ("ZPX-A1500JC", sim.ModelName());
  EXPECT_EQ("AB 03 02 81 00 12 BD", Hex(line.Ask(Bytes("AB 01 33 21 0D"))));
  // A binary UPS does not answer text.
  line.Write("M\r");
  ASSERT_TRUE(test::WaitFor([&] { return sim.Counters().dropped >= 2; }));
  EXPECT_EQ("", line.Read(300));
  sim.SetProtocol(SimProtocol::kText);
  EXPECT_EQ("T-PWR15J1", sim.ModelName());
  EXPECT_EQ("00\r", line.Ask("M\r"));
}

TEST(SimulatorTest, StartsOnceAndStopsTwiceSafely) {
  Simulator sim;
  std::string error;
  ASSERT_TRUE(sim.Start(&error)) << error;
  EXPECT_FALSE(sim.Start(&error));
  EXPECT_EQ("the simulator is already running", error);
  sim.Stop();
  sim.Stop();
  EXPECT_FALSE(sim.Running());
  // And it can serve again on a fresh terminal.
  ASSERT_TRUE(sim.Start(&error)) << error;
  SimLine line(sim.DevicePath(), 2400);
  EXPECT_EQ("00\r", line.Ask("M\r"));
}

}  // namespace
}  // namespace zep
