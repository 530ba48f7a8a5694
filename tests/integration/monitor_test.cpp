// The monitor of the built zeps as a black box: started in console mode
// from a scratch installation with shell scripts that record how they were
// started, against the simulator on its pseudo-terminal (ZEP_PORT), on the
// service's fixed ports. What the UPS sees on the wire, the status records
// of the search and the identification, the information items as clients
// read them from port 60055, and a lost link.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "service_harness.h"
#include "udp.h"

namespace zep {
namespace {

// A scratch directory whose ZEP.conf names the device.
Installation MonitorInstallation(const std::string& device) {
  Installation installation;
  installation.tag = "monitor";
  installation.recording_scripts = {"status", "event", "powerrecovery"};
  installation.settings = {"ZEP_PORT=" + device, "ZEP_MON_CYCLE=20"};
  return installation;
}

// The text of information item `id` as a client reads it from the external
// command port (message kind 5); "<none>" without an answer.
std::string InformationItem(int id) {
  UdpEndpoint client;
  if (OpenEndpoint(&client, 0) < 0) return "<no endpoint>";
  SetPeerPort(&client, kExternalPort);
  char text[300] = {};
  int length = RequestText(text, &client, 5, id, 0);
  CloseEndpoint(&client);
  return length < 0 ? "<none>" : std::string(text);
}

// The text requests the simulator received, as its log shows them.
Strings TextRequests(const Simulator& sim) {
  Strings requests;
  for (const std::string& line : sim.LogLines()) {
    size_t marker = line.find(" rx \"");
    if (marker != std::string::npos)
      requests.push_back(line.substr(marker + 4));
  }
  return requests;
}

TEST(MonitorBlackBox, TextUpsAt2400IsFoundIdentifiedAndPolled) {
  SimulatorRun ups(SimProtocol::kText, 2400);
  ASSERT_TRUE(ups.started) << ups.error;
  ServiceRun run(MonitorInstallation(ups.sim.DevicePath()));
  // The device at 19200, 9600 and 4800 (not answered), then at 2400.
  ASSERT_TRUE(run.StartAndWaitForScript({"-debug"}, "status|1|120|"));
  ASSERT_NE("", run.WaitForScript("event|1|1|64")) << run.Stderr();

  // Items 0, 2 and 3 of the identification, 7 of the battery figure.
  EXPECT_EQ("T-PWR15J1", InformationItem(0));
  EXPECT_EQ("1.2", InformationItem(2));
  EXPECT_EQ("15001", InformationItem(3));
  EXPECT_EQ("100", InformationItem(7));
  // 4 to 6 from the ratings, by the meter thread.
  EXPECT_EQ("1500", InformationItem(4));
  EXPECT_EQ("1500", InformationItem(5));
  EXPECT_EQ("100", InformationItem(6));
  EXPECT_EQ(0, run.Stop());

  EXPECT_EQ((Strings{"status|1|1|Port|COM1|2400bps",
                     "status|1|110|System Information|T-PWR15J1|1.2|15001",
                     "status|1|120|Rated Information|1500VA|1500W|100V"}),
            (Strings{run.ScriptsWith("status|1|1|")[0],
                     run.ScriptsWith("status|1|110|")[0],
                     run.ScriptsWith("status|1|120|")[0]}));
  EXPECT_EQ(3, ups.sim.Counters().ignored);
  // The first probe at each speed is logged as text here (the binary
  // request and its CR); at 2400 the second probe went out as "M\r".
  Strings requests = TextRequests(ups.sim);
  ASSERT_GE(requests.size(), 17u);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ("\"\\xAB", requests[i].substr(0, 5)) << i;
  }
  EXPECT_EQ(
      (Strings{"\"M\\r\"", "\"&K\\r\"", "\"%ZQ\\r\"", "\"&M\\r\"", "\"%N\\r\"",
               "\"%M\\r\"", "\"M\\r\"", "\"&S1\\r\"", "\"&N\\r\"", "\"&S1\\r\"",
               "\"QQ\\r\"", "\"&R\\r\"", "\"Q1\\r\""}),
      Strings(requests.begin() + 4, requests.begin() + 17));
}

TEST(MonitorBlackBox, BinaryUpsIsIdentifiedThroughTheTranslation) {
  SimulatorRun ups(SimProtocol::kBinary, 19200);
  ASSERT_TRUE(ups.started) << ups.error;
  ServiceRun run(MonitorInstallation(ups.sim.DevicePath()));
  ASSERT_TRUE(run.StartAndWaitForScript({"-debug"}, "status|1|120|"));
  EXPECT_EQ("ZPX-A1500JC", InformationItem(0));
  EXPECT_EQ("1500VA/1350W", InformationItem(1));
  EXPECT_EQ("01.05", InformationItem(2));
  EXPECT_EQ("SN A15-00012345", InformationItem(12));
  EXPECT_EQ(0, run.Stop());
  EXPECT_EQ(
      (Strings{"status|1|1|Port|COM1|19200bps",
               "status|1|110|System Information|ZPX-A1500JC|1500VA/1350W|01.05",
               "status|1|120|Rated Information|1500VA|1350W|100V"}),
      (Strings{run.ScriptsWith("status|1|1|")[0],
               run.ScriptsWith("status|1|110|")[0],
               run.ScriptsWith("status|1|120|")[0]}));
  EXPECT_EQ(1, ups.sim.Counters().probes);
  EXPECT_TRUE(ups.sim.Counters().text_requests.empty());
}

TEST(MonitorBlackBox, LostLinkBeginsAndEndsEvent3880) {
  SimulatorRun ups(SimProtocol::kText, 19200);
  ASSERT_TRUE(ups.started) << ups.error;
  ServiceRun run(MonitorInstallation(ups.sim.DevicePath()));
  ASSERT_TRUE(run.StartAndWaitForScript({"-debug"}, "event|1|1|64"));
  EXPECT_TRUE(run.ScriptsWith("event|1|3|3880").empty());

  ups.sim.SetState(SimState::kSilence);
  ASSERT_NE("", run.WaitForScript("event|1|3|3880")) << run.Stderr();
  ups.sim.SetState(SimState::kNormal);
  ASSERT_NE("", run.WaitForScript("event|0|3|3880")) << run.Stderr();
  EXPECT_EQ(0, run.Stop());

  // Identified twice on the one port found; no power recovery, as the
  // mains never failed.
  EXPECT_EQ(1u, run.ScriptsWith("status|1|1|Port|").size());
  EXPECT_EQ(2u, run.ScriptsWith("status|1|110|").size());
  EXPECT_TRUE(run.ScriptsWith("powerrecovery").empty());
}

}  // namespace
}  // namespace zep
