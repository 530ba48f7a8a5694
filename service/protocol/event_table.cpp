#include "protocol/event_table.h"

#include "protocol/ups_state.h"

namespace zep {

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

bool ValidCode(int code) { return code >= 0 && code < kEventCodeCount; }

bool IsActive(const ActiveEventTable& table, int code) {
  return table.slots[code].stamp.load(kRelaxed) != 0;
}

// Event codes with a category of their own, ahead of the rule by digit.
struct CategoryRow {
  int first;
  int last;
  int category;
};

constexpr CategoryRow kCategoryRows[] = {
    {96, 96, 23},     {386, 386, 23},   {390, 390, 23},   {257, 257, 26},
    {258, 258, 24},   {304, 309, 24},   {1072, 1072, 24}, {1328, 1328, 24},
    {1584, 1584, 24}, {1841, 1841, 24}, {2352, 2352, 24}, {313, 313, 22},
    {2177, 2177, 22}, {385, 385, 21},   {393, 393, 21},   {400, 400, 25},
    {777, 777, 25},   {1408, 1408, 25}, {3200, 3204, 25}, {2568, 2568, 40},
    {2592, 2592, 40}, {3072, 3072, 29}, {3080, 3080, 29}, {3084, 3084, 29},
    {3104, 3105, 29}, {3208, 3208, 29}, {3880, 3880, 50},
};

}  // namespace

CategoryContext CategoryContextOf(const UpsState& state,
                                  const ActiveEventTable& table) {
  CategoryContext context;
  context.protocol_mode = state.protocol_mode.load(kRelaxed);
  context.ups_flags = state.ups_flags.load(kRelaxed);
  context.mains_event_active =
      IsActive(table, 64) || IsActive(table, 71) || IsActive(table, 96);
  return context;
}

int EventCategory(int code, const CategoryContext& context) {
  if (code < 0) return 12;
  for (const CategoryRow& row : kCategoryRows) {
    if (code >= row.first && code <= row.last) return row.category;
  }
  int digit = (code >> 8) & 0xF;
  if ((digit >= 2 && digit <= 10) || digit == 15) return digit + 30;
  if (digit == 13) return 21;
  if (digit == 0) {
    bool on_battery = context.protocol_mode == 0
                          ? context.mains_event_active
                          : (context.ups_flags & 0x02) != 0;
    return on_battery ? 11 : 12;
  }
  return 30;  // digits 1, 11, 12 and 14
}

void SetActiveEvent(ActiveEventTable& table, int code, int severity,
                    int32_t stamp) {
  // Severities outside 1..3 have no count to keep; callers never pass them.
  if (severity < 1 || severity > 3 || !ValidCode(code)) return;
  if (IsActive(table, code)) return;
  ActiveEventSlot& slot = table.slots[code];
  slot.severity.store(severity, kRelaxed);
  slot.stamp.store(stamp, kRelaxed);
  table.severity_counts[severity].fetch_add(1, kRelaxed);
}

void ClearActiveEvent(ActiveEventTable& table, int code, int32_t stamp) {
  if (!ValidCode(code) || !IsActive(table, code)) return;
  ActiveEventSlot& slot = table.slots[code];
  slot.stamp.store(0, kRelaxed);
  table.last_clear_stamp.store(stamp, kRelaxed);
  int severity = slot.severity.load(kRelaxed);
  if (severity >= 1 && severity <= 3) {
    table.severity_counts[severity].fetch_sub(1, kRelaxed);
  }
  slot.severity.store(0, kRelaxed);
}

int EventSeverity(const ActiveEventTable& table, int code) {
  return ValidCode(code) ? table.slots[code].severity.load(kRelaxed) : 0;
}

int32_t EventStamp(const ActiveEventTable& table, int code) {
  return ValidCode(code) ? table.slots[code].stamp.load(kRelaxed) : 0;
}

int CountActiveEvents(const ActiveEventTable& table, int mask) {
  int total = 0;
  if (mask & 0x1) total += table.severity_counts[1].load(kRelaxed);
  if (mask & 0x2) total += table.severity_counts[2].load(kRelaxed);
  if (mask & 0x4) total += table.severity_counts[3].load(kRelaxed);
  return total;
}

int CurrentSeverity(const ActiveEventTable& table) {
  if (table.severity_counts[3].load(kRelaxed) > 0) return 3;
  if (table.severity_counts[2].load(kRelaxed) > 0) return 2;
  return 1;
}

void ClearAllEvents(ActiveEventTable& table, bool keep_link_event,
                    int32_t now) {
  for (int code = 0; code < kEventCodeCount; ++code) {
    if (keep_link_event && code == kLinkEventCode) continue;
    ClearActiveEvent(table, code, now);
  }
}

int HighestSeverityInCategory(const ActiveEventTable& table, int category,
                              const CategoryContext& context) {
  int highest = 0;
  for (int code = 0; code < kEventCodeCount; ++code) {
    if (!IsActive(table, code)) continue;
    int severity = table.slots[code].severity.load(kRelaxed);
    if (severity > highest && EventCategory(code, context) == category) {
      highest = severity;
    }
  }
  return highest;
}

int UpdateEventSummary(const ActiveEventTable& table, EventSummary& summary,
                       const CategoryContext& context, int32_t now) {
  int severity = CurrentSeverity(table);
  int chosen = -1;
  int32_t chosen_stamp = 0;
  for (int code = 0; code < kEventCodeCount; ++code) {
    int32_t stamp = table.slots[code].stamp.load(kRelaxed);
    if (stamp == 0) continue;
    if (table.slots[code].severity.load(kRelaxed) != severity) continue;
    // Ascending codes with >=: on equal stamps the higher code wins.
    if (chosen < 0 || stamp >= chosen_stamp) {
      chosen = code;
      chosen_stamp = stamp;
    }
  }

  int32_t last_clear = table.last_clear_stamp.load(kRelaxed);
  int kind;
  int32_t stamp;
  if (chosen >= 0) {
    kind = severity;
    stamp = chosen_stamp;
    if (kind == 1 && last_clear > stamp) stamp = last_clear;
    if (stamp == 0) stamp = now;
  } else {
    kind = 1;
    stamp = last_clear > 0 ? last_clear : 0;
    if (stamp == 0) stamp = now;
  }

  int category = EventCategory(chosen, context);
  summary.summary_total.store(CountActiveEvents(table, 7), kRelaxed);
  summary.summary_severity.store(severity, kRelaxed);
  summary.summary_stamp.store(stamp, kRelaxed);
  summary.summary_kind.store(kind, kRelaxed);
  summary.summary_category.store(category, kRelaxed);
  return category;
}

}  // namespace zep
