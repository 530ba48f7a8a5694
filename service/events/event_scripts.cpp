#include "events/event_scripts.h"

#include <string>
#include <vector>

#include "config.h"
#include "launcher.h"
#include "message_files.h"
#include "text_format.h"
#include "trace.h"

namespace zep {
namespace {

// The arguments of a script from the information items, in order. An item
// never set ends the list there, as does an empty one, so a script never
// sees a later value in an earlier position.
void AppendItems(const ServiceContext& context,
                 std::initializer_list<int> slots,
                 std::vector<std::string>* args, bool* complete) {
  for (int slot : slots) {
    if (!*complete) return;
    char text[kInfoTextSize];
    if (context.messages == nullptr ||
        !GetInfoString(context.messages->info_strings, slot, text,
                       sizeof text) ||
        text[0] == '\0') {
      *complete = false;
      return;
    }
    args->emplace_back(text);
  }
}

// Away mode goes through the context, so that tests can watch it and a
// context without the hook asks nothing of the system.
void SetAwayMode(ServiceContext& context, uint32_t flags) {
  if (context.set_execution_state != nullptr) {
    context.set_execution_state(flags);
  }
}

void Launch(ServiceContext& context, const char* name,
            const std::vector<std::string>& args) {
  if (context.launcher != nullptr) context.launcher->Launch(name, args);
}

// The power failure and the emergency share their shape: away mode, the
// wait from the settings, four values and the wait.
void RunWaitScript(ServiceContext& context, const char* wait_key,
                   const char* default_wait, const char* trace_line,
                   const char* script) {
  if (GetConfigInt("ZEP_AWAY_MODE") == 1) SetAwayMode(context, kAwayModeOn);
  char wait[kConfigValueSize];
  if (GetConfigText(wait, wait_key) <= 0)
    CopyText(wait, sizeof wait, default_wait);
  Trace(trace_line);
  std::vector<std::string> args;
  bool complete = true;
  AppendItems(context,
              {kInfoTag172, kInfoOutputPower, kInfoTemperature, kInfoBattery},
              &args, &complete);
  if (complete && wait[0] != '\0') args.emplace_back(wait);
  Launch(context, script, args);
}

}  // namespace

void RunPowerFail(ServiceContext& context) {
  RunWaitScript(context, "ZEP_PF_WAIT", "300", "ExecPowerFail\r\n",
                "powerfail.bat");
}

void RunEmergency(ServiceContext& context) {
  RunWaitScript(context, "ZEP_LB_WAIT", "30", "ExecEmergency\r\n",
                "emergency.bat");
}

void RunPowerRecovery(ServiceContext& context) {
  int away_mode = GetConfigInt("ZEP_AWAY_MODE");
  Trace("ExecPowerRecovery\r\n");
  Launch(context, "powerrecovery.bat", {});
  if (away_mode == 1) SetAwayMode(context, kAwayModeOff);
}

void RunTemperature(ServiceContext& context, bool began) {
  Trace("ExecTemperature\r\n");
  std::vector<std::string> args = {began ? "1" : "0"};
  bool complete = true;
  AppendItems(context, {kInfoTemperature, kInfoTag172, kInfoOutputPower}, &args,
              &complete);
  Launch(context, "temperature.bat", args);
}

void RunOverload(ServiceContext& context, bool began) {
  Trace("ExecOverload\r\n");
  std::vector<std::string> args = {began ? "1" : "0"};
  bool complete = true;
  AppendItems(context, {kInfoTag172, kInfoOutputPower, kInfoTemperature}, &args,
              &complete);
  Launch(context, "overload.bat", args);
}

}  // namespace zep
