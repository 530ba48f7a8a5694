#include "protocol/condition_table.h"

#include "protocol/status_datagrams.h"

namespace zep {

const ConditionRow kConditionTable[kConditionRowCount] = {
    // Group 1.
    {1, 0, kNoAlarmBit, 96},
    {1, 1, kNoAlarmBit, 64},
    {1, 8, 178, 4},
    {1, 9, 229, 30},
    {1, 10, 172, 40},
    {1, 11, 94, 48},
    {1, 12, 175, 57},
    {1, 13, 97, 63},
    {1, 14, 171, 71},
    {1, 15, 98, 119},
    // Group 2. Mask bits 1 and 7 follow bit 6, so the mains and battery
    // entries come first.
    {2, 0, kNoAlarmBit, 304},
    {2, 2, kNoAlarmBit, 3368},
    {2, 3, kNoAlarmBit, 3200},
    {2, 4, kNoAlarmBit, 257},
    {2, 5, kNoAlarmBit, 2176},
    {2, 6, kNoAlarmBit, 2177},
    {2, 1, kNoAlarmBit, 3336},
    {2, 7, kNoAlarmBit, 3340},
    {2, 8, 168, 385},
    {2, 9, 105, 393},
    {2, 10, 169, 386},
    {2, 11, 225, 400},
    {2, 12, 3, 777},
    {2, 13, 159, 3201},
    {2, 14, 162, 3202},
    {2, 15, 165, 3203},
    {2, 16, 170, 3072},
    {2, 17, 12, 299},
    {2, 18, 206, 314},
    {2, 19, 5, 780},
    {2, 20, 208, 2129},
    {2, 21, 191, 2144},
    {2, 22, 199, 2164},
    {2, 23, 42, 2592},
    // Group 3.
    {3, 1, kNoAlarmBit, 3080},
    {3, 2, kNoAlarmBit, 1544},
    {3, 3, kNoAlarmBit, 2568},
    {3, 8, 174, 313},
    {3, 9, 200, 308},
    {3, 10, 24, 1072},
    {3, 11, 223, 1328},
    {3, 12, 21, 1584},
    {3, 13, 69, 1841},
    {3, 14, 20, 2352},
    {3, 15, 75, 1408},
    {3, 16, 50, 3204},
    {3, 17, 11, 3084},
    {3, 18, 58, 3208},
    {3, 19, 82, 610},
    {3, 20, 224, 626},
    {3, 21, 33, 769},
    {3, 22, 31, 1024},
    {3, 23, 2, 1036},
    {3, 24, 117, 1104},
    {3, 25, 79, 1125},
    {3, 26, 30, 1280},
    {3, 27, 26, 1304},
    {3, 28, 34, 1536},
    {3, 29, 35, 1636},
    {3, 30, 70, 1792},
    {3, 31, 68, 2057},
    {3, 7, 36, 2304},
};

void ResyncReportedConditions(ReportedConditions* reported) {
  reported->resync = true;
}

int ReportConditionChanges(const UpsState& state, ReportedConditions* reported,
                           uint8_t s0, uint8_t s1, uint8_t s2,
                           const DatagramSender& send) {
  uint32_t current[3];
  current[0] = (s2 & 0x08u) | (s1 & 0x03u);
  current[2] = s0 & 0x0Eu;
  uint32_t group2 = (s0 & 0x11u) | (s1 & 0x6Cu);
  if ((s0 & 0x80u) != 0) {
    group2 |= 0x80u;
  } else if ((s0 & 0x40u) != 0 || (group2 & 0x04u) != 0) {
    group2 |= 0x02u;
  }
  current[1] = group2;

  // An ASCII UPS has no alarm bits; for any other mode AlarmBit answers 255
  // (not on) for bits it does not know.
  if (state.protocol_mode.load(std::memory_order_relaxed) != 0) {
    for (const ConditionRow& row : kConditionTable) {
      if (row.alarm_bit != kNoAlarmBit && AlarmBit(state, row.alarm_bit) == 1) {
        current[row.group - 1] |= 1u << row.mask_bit;
      }
    }
  }

  EventDatagram datagram;
  for (int group = 1; group <= 3; ++group) {
    uint32_t changed = current[group - 1] ^ reported->masks[group - 1];
    if (reported->resync) changed |= current[group - 1];
    if (changed == 0) continue;
    for (const ConditionRow& row : kConditionTable) {
      uint32_t bit = 1u << row.mask_bit;
      if (row.group != group || (changed & bit) == 0) continue;
      bool ended = (current[group - 1] & bit) == 0;
      AppendEventEntry(&datagram, row.event_code, ended, group);
    }
  }

  uint32_t previous[3] = {reported->masks[0], reported->masks[1],
                          reported->masks[2]};
  // Every changed bit is now taken as reported, those without a row too.
  for (int i = 0; i < 3; ++i) reported->masks[i] = current[i];
  if (datagram.bytes[1] == 0) {
    reported->resync = false;
    return 0;
  }

  int length = EventDatagramLength(datagram);
  int sent = send ? send(datagram.bytes, length) : -1;
  if (sent < length) {
    for (int i = 0; i < 3; ++i) reported->masks[i] = previous[i];
  } else {
    reported->resync = false;
  }
  return sent;
}

}  // namespace zep
