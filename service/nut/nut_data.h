// What the NUT protocol server tells about the UPS: the variables with
// their standard names, read from the records the service keeps (the
// active events, the meter values, the information items and the UPS
// state), the status tokens made from the active events, and whether the
// data can be trusted at all. Everything here only reads the records, each
// field a relaxed atomic of its own writer thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zep {

struct ActiveEventTable;
struct ServiceContext;

/// One variable as the clients see it: a standard name and its value.
struct NutVariable {
  std::string name;
  std::string value;
};

/// The UPS at one moment.
struct NutUpsData {
  /// The link to the UPS is lost, or no polling pass has been made since it
  /// came (back): reads are answered ERR DATA-STALE.
  bool stale = true;
  /// The computer-shutdown sequence runs during a mains failure: the status
  /// starts with FSD, and while the data are stale it is FSD alone.
  bool forced_shutdown = false;
  /// The variables the service has values for, sorted by name; a value the
  /// service does not have is not in the list.
  std::vector<NutVariable> variables;
};

/// The value of variable `name` (compared without regard to case), or
/// null when the service has none.
const NutVariable* FindNutVariable(const NutUpsData& data,
                                   const std::string& name);

/// The text GET DESC gives for a variable the server knows (compared
/// without regard to case), or null.
const char* NutVariableDescription(const std::string& name);

/// The status tokens: FSD first when `forced_shutdown`, then ALARM for a
/// UPS fault (events 3080, 1544, 2568), OB during a mains failure (3368)
/// and OL otherwise, BYPASS (96), LB for a low battery (2177), OVER for an
/// overload (3200) and CAL for a battery test (2176).
std::string NutStatusText(const ActiveEventTable& events, bool forced_shutdown);

/// Reads the variables from the records of `records` (any record may be
/// missing; its variables are then left out). `version` is the service's
/// version text, published as the driver's.
NutUpsData ReadNutUpsData(const ServiceContext& records,
                          const std::string& version, bool stale,
                          bool forced_shutdown);

/// What the records say about the link to the UPS.
struct NutLinkFacts {
  /// The lost-link event 3880 is active.
  bool link_lost = true;
  /// A polling pass has been made since the workers started (the event
  /// summary is first worked out at the end of the first pass; the start
  /// of the workers empties it).
  bool polled = false;
};

NutLinkFacts ReadNutLinkFacts(const ServiceContext& records);

/// The server's own memory of the link: after the lost-link event ends,
/// the events are announced again only at the end of the next polling
/// pass, so the data stay stale for `hold_ms` more.
struct NutFreshness {
  bool link_was_lost = false;
  int64_t hold_until_ms = 0;
};

/// Takes in the facts seen at `now_ms` and returns whether the data are
/// stale now.
bool UpdateNutFreshness(NutFreshness* freshness, const NutLinkFacts& facts,
                        int64_t now_ms, int hold_ms);

}  // namespace zep
