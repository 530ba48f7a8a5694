// A UPS link that breaks during a mains failure, end to end: the built zeps
// in console mode against the simulator, whose answers are cut to half
// their length for a while (they still end in CR) or whose terminal is
// unplugged and plugged back. The mains failure must be neither lost nor
// ended nor started anew by the broken link: the scripts, the event summary
// and the active events follow what the UPS last said.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "service_harness.h"
#include "udp.h"

namespace zep {
namespace {

// The recording scripts of the power events; a fast polling cycle.
Installation LinkInstallation(const std::string& device) {
  Installation installation;
  installation.tag = "lostlink";
  installation.recording_scripts = {"status", "event", "powerfail",
                                    "powerrecovery", "emergency"};
  installation.settings = {"ZEP_PORT=" + device, "ZEP_MON_CYCLE=20"};
  return installation;
}

// The summary's severity and category as the tray asks for them ("B" with
// items 1 and 4); -2 without an answer.
struct Summary {
  int severity = -2;
  int category = -2;
};

int32_t BigEndian32(const uint8_t* p) {
  return static_cast<int32_t>(static_cast<uint32_t>(p[0]) << 24 |
                              static_cast<uint32_t>(p[1]) << 16 |
                              static_cast<uint32_t>(p[2]) << 8 | p[3]);
}

Summary AskSummary() {
  Summary summary;
  UdpEndpoint client;
  if (OpenEndpoint(&client, 0) < 0) return summary;
  SetPeerPort(&client, kExternalPort);
  uint8_t frame[261] = {0x42, 2, 1, 0, 0, 0, 0, 4, 0, 0, 0, 0};
  if (RequestFrame(frame, &client, 12, 1000) == 14) {
    summary.severity = BigEndian32(frame + 3);
    summary.category = BigEndian32(frame + 8);
  }
  CloseEndpoint(&client);
  return summary;
}

// The mains fails and powerfail starts; then the answers are cut for a
// second and a half, three times what the link takes to count as lost.
void FailMainsThenGarbleTheLine(Simulator& sim, ServiceRun& run) {
  ASSERT_TRUE(run.StartAndWaitForScript({"-debug"}, "event|1|1|64"));
  sim.SetState(SimState::kMainsFailure);
  ASSERT_NE("", run.WaitForScript("powerfail")) << run.Stderr();
  sim.SetCutAnswers(true);
  ASSERT_NE("", run.WaitForScript("event|1|3|3880")) << run.Stderr();
  PauseMs(1500);
}

TEST(LostLinkEndToEnd, GarbledLineDuringAMainsFailureDoesNotEndIt) {
  SimulatorRun ups(SimProtocol::kText, 19200);
  ASSERT_TRUE(ups.started) << ups.error;
  ServiceRun run(LinkInstallation(ups.sim.DevicePath()));
  FailMainsThenGarbleTheLine(ups.sim, run);
  // No identification succeeded on the cut answers: the link stays lost.
  EXPECT_EQ(0, run.CountScripts("event|0|3|3880"));

  // Good answers again, the mains still off: the link is back and the
  // failure announced again, and nothing else happens.
  ups.sim.SetCutAnswers(false);
  ASSERT_NE("", run.WaitForScript("event|0|3|3880")) << run.Stderr();
  ASSERT_NE("", run.WaitForScript("event|1|2|3368", 2)) << run.Stderr();
  PauseMs(700);
  EXPECT_EQ(1, run.CountScripts("powerfail"));
  EXPECT_EQ(0, run.CountScripts("powerrecovery"));
  EXPECT_EQ(0, run.CountScripts("event|0|2|3368"));
  Summary summary = AskSummary();
  EXPECT_EQ(2, summary.severity);
  EXPECT_EQ(21, summary.category);  // mains failure

  ups.sim.SetState(SimState::kNormal);
  ASSERT_NE("", run.WaitForScript("powerrecovery")) << run.Stderr();
  PauseMs(700);
  EXPECT_EQ(1, run.CountScripts("powerrecovery"));
  EXPECT_EQ(1, run.CountScripts("powerfail"));
  EXPECT_EQ(0, run.Stop());
}

TEST(LostLinkEndToEnd, MainsBackDuringTheGarbledSpellRecoversOnce) {
  SimulatorRun ups(SimProtocol::kText, 19200);
  ASSERT_TRUE(ups.started) << ups.error;
  ServiceRun run(LinkInstallation(ups.sim.DevicePath()));
  FailMainsThenGarbleTheLine(ups.sim, run);
  ups.sim.SetState(SimState::kNormal);
  PauseMs(700);
  EXPECT_EQ(0, run.CountScripts("powerrecovery"));

  // The first usable pass shows the mains back: the failure ends, once.
  ups.sim.SetCutAnswers(false);
  ASSERT_NE("", run.WaitForScript("event|0|2|3368")) << run.Stderr();
  ASSERT_NE("", run.WaitForScript("powerrecovery")) << run.Stderr();
  PauseMs(700);
  EXPECT_EQ(1, run.CountScripts("powerrecovery"));
  EXPECT_EQ(1, run.CountScripts("powerfail"));
  EXPECT_EQ(11, AskSummary().category);  // normal operation (on line)
  EXPECT_EQ(0, run.Stop());
}

TEST(LostLinkEndToEnd, RepluggedLineIsFoundAgainWithoutARestart) {
  char dir[] = "/tmp/zep-replug-XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(dir));
  const std::string link = std::string(dir) + "/ttyUPS";
  {
    SimulatorRun ups(SimProtocol::kText, 19200, link);
    ASSERT_TRUE(ups.started) << ups.error;
    ServiceRun run(LinkInstallation(link));
    ASSERT_TRUE(run.StartAndWaitForScript({"-debug"}, "event|1|1|64"));

    // The old terminal is gone: the service's handle hears nothing more,
    // until it opens the device behind the link anew.
    std::string error;
    ASSERT_TRUE(ups.sim.Replug(&error)) << error;
    ASSERT_NE("", run.WaitForScript("event|1|3|3880")) << run.Stderr();
    ASSERT_NE("", run.WaitForScript("event|0|3|3880")) << run.Stderr();
    EXPECT_TRUE(run.WaitForTrace(": the UPS is silent; reopened at 19200bps"));
    EXPECT_EQ(1, run.CountScripts("status|1|1|Port|"));
    EXPECT_EQ(0, run.Stop());
  }
  rmdir(dir);
}

}  // namespace
}  // namespace zep
