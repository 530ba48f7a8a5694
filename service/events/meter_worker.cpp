#include "events/meter_worker.h"

#include "clock.h"
#include "config.h"
#include "launcher.h"
#include "message_files.h"
#include "protocol/status_datagrams.h"
#include "text_format.h"
#include "trace.h"
#include "udp.h"

namespace zep {
namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr int kReceiveBufferSize = 1024;
// Information items are formatted into buffers of this size.
constexpr int kItemTextSize = 128;

// The tags that users see, with their information item and format.
struct InfoItemRow {
  int tag;
  int slot;
  const char* format;
};

constexpr InfoItemRow kInfoItemRows[] = {
    {88, 11, "%.1f"},  {168, 9, "%.1f"}, {200, 9, "%.1f"}, {169, 10, "%.1f"},
    {201, 10, "%.1f"}, {172, 8, "%.0f"}, {224, 6, "%.0f"}, {232, 6, "%.0f"},
    {226, 4, "%.0f"},  {234, 4, "%.0f"}, {227, 5, "%.0f"}, {235, 5, "%.0f"},
};

// How a meter.bat argument falls back when its tag has not arrived: to the
// stored value of a second tag (0 when that never came either), or to -1.
constexpr int kMinusOne = -1;

struct MeterArgumentRow {
  int tag;
  int fallback_tag;  // kMinusOne: the value -1
  const char* format;
};

constexpr MeterArgumentRow kMeterArgumentRows[kMeterArgumentCount] = {
    {226, 234, "%.0f"},       {227, 235, "%.0f"},
    {224, 232, "%.0f"},       {192, kMinusOne, "%.1f"},
    {208, kMinusOne, "%.1f"}, {160, kMinusOne, "%.1f"},
    {176, kMinusOne, "%.1f"}, {201, 169, "%.1f"},
    {172, kMinusOne, "%.0f"}, {88, kMinusOne, "%.1f"},
    {64, kMinusOne, "%.1f"},
};

Clock& ClockOf(const ServiceContext& context) {
  return context.clock != nullptr ? *context.clock : SystemClock();
}

void WriteConsole(const ServiceContext& context, const std::string& text) {
  if (context.write_console != nullptr) context.write_console(text.c_str());
}

void SetInfoItem(ServiceContext& context, int tag, double value) {
  if (context.messages == nullptr) return;
  for (const InfoItemRow& row : kInfoItemRows) {
    if (row.tag != tag) continue;
    char text[kItemTextSize];
    FormatFixed(text, sizeof text, row.format, value);
    SetInfoString(&context.messages->info_strings, row.slot, text);
    return;
  }
}

bool Present(const MeterValueTable& table, int tag) {
  return table.tags[tag].present.load(kRelaxed) != 0;
}

double ValueOf(const MeterValueTable& table, int tag) {
  return table.tags[tag].value.load(kRelaxed);
}

}  // namespace

void StartMeterCycle(MeterCycle* cycle, MeterValueTable* table, int64_t now) {
  cycle->next_run = now - now % 60 + 60;
  cycle->datagrams = 0;
  cycle->metering = false;
  if (table != nullptr) ClearMeterValues(table);
}

int StoreMeterValues(ServiceContext& context, MeterCycle* cycle,
                     const uint8_t* data, int length) {
  const int count = CountValues(data, length);
  if (count <= 0) return 0;
  std::string line;
  for (int i = 0; i < count; ++i) {
    TaggedValue value;
    ReadValue(data, length, i, &value);
    // The table keeps a float; the console, the items and meter.bat all
    // show that one value, so that no two of them round it differently.
    const float kept = static_cast<float>(value.value);
    if (context.meter_values != nullptr) {
      MeterValue& stored = context.meter_values->tags[value.tag];
      stored.value.store(kept, kRelaxed);
      stored.present.store(1, kRelaxed);
    }
    line += FormatText("[%3d:%.1f] ", value.tag, static_cast<double>(kept));
    SetInfoItem(context, value.tag, kept);
    if (value.tag == kMeteringTag) cycle->metering = true;
  }
  line += "\r\n";
  WriteConsole(context, line);
  ++cycle->datagrams;
  return count;
}

std::vector<std::string> MeterArguments(const MeterValueTable& table) {
  std::vector<std::string> args;
  for (const MeterArgumentRow& row : kMeterArgumentRows) {
    double value = 0.0;
    if (Present(table, row.tag)) {
      value = ValueOf(table, row.tag);
    } else if (row.fallback_tag == kMinusOne) {
      value = -1.0;
    } else {
      value = ValueOf(table, row.fallback_tag);
    }
    char field[kMeterArgumentSize];
    FormatFixed(field, sizeof field, row.format, value);
    args.emplace_back(field);
  }
  return args;
}

bool RunMeterIfDue(ServiceContext& context, MeterCycle* cycle, int64_t now) {
  if (!cycle->metering || now < cycle->next_run || cycle->datagrams < 1) {
    return false;
  }
  // Read anew at every run, so that a changed setting takes effect at the
  // next one.
  int period = GetConfigInt("ZEP_METER_CYCLE");
  if (period <= 0) period = kDefaultMeterCycle;
  // Runs stay aligned to whole minutes. A cycle shorter than a minute would
  // put the next run before now and run the script at every datagram for
  // the rest of the minute, so step on by whole cycles past now.
  cycle->next_run = now - now % 60 + period;
  while (cycle->next_run <= now) cycle->next_run += period;
  if (context.launcher != nullptr && context.meter_values != nullptr) {
    context.launcher->Launch("meter.bat",
                             MeterArguments(*context.meter_values));
  }
  cycle->datagrams = 0;
  return true;
}

void MeterWorker(WorkerSlot* slot) {
  if (slot->context == nullptr) return;
  ServiceContext& context = *slot->context;
  MeterCycle cycle;
  StartMeterCycle(&cycle, context.meter_values, ClockOf(context).NowSeconds());
  uint8_t buffer[kReceiveBufferSize];
  for (;;) {
    // The run falls due only as a datagram arrives (the check follows
    // each one), so the receive sleeps until one comes.
    const int received =
        ReceiveDatagram(&slot->endpoint, buffer, sizeof buffer, -1);
    if (received < 0) {
      if (received != -1) {
        TraceFormat("Meter thread: receive failed (%d)\n", received);
      }
      return;
    }
    if (received == 0) continue;
    if (StoreMeterValues(context, &cycle, buffer, received) == 0) {
      TraceFormat("Meter datagram dropped (%d bytes, type %02X)\n", received,
                  static_cast<unsigned>(buffer[0]));
    }
    RunMeterIfDue(context, &cycle, ClockOf(context).NowSeconds());
  }
}

}  // namespace zep
