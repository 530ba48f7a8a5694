// The set of UPS and service events that are active now: one slot per event
// code with its severity and the time it began, counts per severity, and the
// five-value summary that the tray and the status datagrams report.
//
// Written by the event thread and the monitor loop, read by the external
// command thread, all without a lock: every field is a 32-bit atomic used
// with relaxed ordering. Times are passed in by the caller (seconds since
// 1970 from the service's one clock), so the table never reads a clock.
#pragma once

#include <atomic>
#include <cstdint>

namespace zep {

struct UpsState;

constexpr int kEventCodeCount = 4096;
/// The service's own event for a lost UPS link.
constexpr int kLinkEventCode = 3880;

struct ActiveEventSlot {
  /// 0 free, else 1 Information, 2 Caution, 3 Fault.
  std::atomic<int32_t> severity{0};
  /// Nonzero while the event is active.
  std::atomic<int32_t> stamp{0};
};

struct ActiveEventTable {
  ActiveEventTable() = default;
  ActiveEventTable(const ActiveEventTable&) = delete;
  ActiveEventTable& operator=(const ActiveEventTable&) = delete;

  ActiveEventSlot slots[kEventCodeCount];
  /// Active events per severity; index 0 is unused.
  std::atomic<int32_t> severity_counts[4] = {};
  /// The stamp given when an event was last cleared.
  std::atomic<int32_t> last_clear_stamp{0};
};

struct EventSummary {
  EventSummary() = default;
  EventSummary(const EventSummary&) = delete;
  EventSummary& operator=(const EventSummary&) = delete;

  std::atomic<int32_t> summary_total{0};
  std::atomic<int32_t> summary_severity{0};
  std::atomic<int32_t> summary_stamp{0};
  std::atomic<int32_t> summary_kind{0};
  std::atomic<int32_t> summary_category{0};
};

/// What the category of the events in the 0x0xx range depends on.
struct CategoryContext {
  int protocol_mode = -1;
  uint8_t ups_flags = 0;
  /// One of the events 64, 71 and 96 is active.
  bool mains_event_active = false;
};

/// The context from the UPS state record and the table.
CategoryContext CategoryContextOf(const UpsState& state,
                                  const ActiveEventTable& table);

/// The display category of event code `code` (-1 for "none" gives 12).
int EventCategory(int code, const CategoryContext& context);

/// Marks event `code` active with severity 1..3 and a nonzero stamp; an
/// active slot, a code outside 0..4095 or a severity outside 1..3 is left
/// alone.
void SetActiveEvent(ActiveEventTable& table, int code, int severity,
                    int32_t stamp);

/// Ends an active event, recording `stamp` as the last clear time; a free
/// slot changes nothing.
void ClearActiveEvent(ActiveEventTable& table, int code, int32_t stamp);

/// The slot's fields; 0 for a code outside 0..4095.
int EventSeverity(const ActiveEventTable& table, int code);
int32_t EventStamp(const ActiveEventTable& table, int code);

/// Active events of the severities in `mask` (0x1 Information, 0x2 Caution,
/// 0x4 Fault).
int CountActiveEvents(const ActiveEventTable& table, int mask);

/// 3 while a Fault is active, else 2 while a Caution is, else 1.
int CurrentSeverity(const ActiveEventTable& table);

/// Ends every active event at time `now`, sparing the link event when
/// `keep_link_event` is set.
void ClearAllEvents(ActiveEventTable& table, bool keep_link_event, int32_t now);

/// The highest severity of the active events of category `category`; 0 when
/// there is none.
int HighestSeverityInCategory(const ActiveEventTable& table, int category,
                              const CategoryContext& context);

/// Recomputes the summary: the newest event of the current severity (the
/// higher code on equal stamps) gives kind, stamp and category. Returns
/// summary_category.
int UpdateEventSummary(const ActiveEventTable& table, EventSummary& summary,
                       const CategoryContext& context, int32_t now);

}  // namespace zep
