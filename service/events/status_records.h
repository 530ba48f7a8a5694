// Status records: every noteworthy moment of the service becomes a run of
// the user's "status.bat" with a level, a code and up to four texts. The
// installation decides what to do with them (a log, a message).
//
// Besides the fixed records of the service (start, stop, shutdown, the UPS
// port, its identity and ratings) there is one record per event category:
// made when the category becomes active, and again only after it has been
// inactive in between.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "launcher.h"
#include "message_files.h"

namespace zep {

struct ActiveEventTable;
struct CategoryContext;
struct EventSummary;
struct ServiceContext;

/// Event categories 0 to 63 have a record counter each.
constexpr int kStatusCategoryCount = 64;

/// The two quiet categories: the category reported while no event is
/// chosen (on battery, on mains).
constexpr int kQuietCategoryBattery = 11;
constexpr int kQuietCategoryMains = 12;

/// One counter per category: above 0 when the category's record has been
/// made and the category has stayed active since. The event and the monitor
/// threads both update them, without a lock.
struct StatusRecordCounters {
  std::atomic<int32_t> counts[kStatusCategoryCount] = {};
};

/// Every counter back to 0 (at every start of the workers).
void ClearStatusRecordCounters(StatusRecordCounters* counters);

/// Runs "status.bat" with the level and the code (each formatted "%d") and
/// the texts; the list ends at the first missing or empty text.
void RunStatusScript(Launcher& launcher, int level, int code,
                     const char* text1 = nullptr, const char* text2 = nullptr,
                     const char* text3 = nullptr, const char* text4 = nullptr);

/// Record 100 at the start of the service: level 1, code 100, the category
/// 100 text ("Start Service"), "ZEP" directly followed by the category 105
/// text ("Version Information"), and the ZEP_VERSION setting when set.
void StartServiceRecord(Launcher& launcher, const MessageTables& messages);

/// Record 101 at the stop: the category 101 text ("Stop Service").
void StopServiceRecord(Launcher& launcher, const MessageTables& messages);

/// Record 103 when the UPS shutdown begins: the category 103 text ("Start
/// to Shutdown").
void ShutdownStartRecord(Launcher& launcher, const MessageTables& messages);

/// Record 130 when something of the installation is wrong (a settings or
/// message file missing or broken, a script missing, a setting that cannot
/// be used): level 2, the category 130 text ("Installation problem"), what
/// is wrong (a file or setting name) and the problem.
void ProblemRecord(Launcher& launcher, const MessageTables& messages,
                   const char* what, const char* problem);

/// ProblemRecord on the context's records, after a trace line
/// "<what>: <problem>". Without a launcher only the trace line is written.
void ReportProblem(ServiceContext& context, const char* what,
                   const std::string& problem);

/// Record 1 when the port search has found the UPS: "Port", "COM%d" with
/// `com_number` and "%dbps" with `speed`.
void PortRecord(Launcher& launcher, int com_number, int speed);

/// Record 110 after an identification: the category 110 text ("System
/// Information"), information item 0, then items 1 and 2 for a binary UPS
/// (`protocol_mode` not 0) or items 2 and 3 for an ASCII UPS. An item never
/// set is an empty text, which ends the list.
void SystemInformationRecord(Launcher& launcher, const MessageTables& messages,
                             int protocol_mode);

/// Record 120 after the ratings: the category 120 text ("Rated
/// Information"), then information items 4, 5 and 6 followed by "VA", "W"
/// and "V". Each of these texts is at most 9 characters: a longer item is
/// cut.
void RatedInformationRecord(Launcher& launcher, const MessageTables& messages);

/// Makes the record of `category` (level = `level`, the level's text and
/// the category's text, "????" for either when missing) when its counter is
/// 0 or less, and adds 1 to the counter in any case. Of two threads that
/// find the counter at 0 at the same moment only one makes the record. A
/// category outside 0..63 is ignored.
void EmitCategoryRecord(Launcher& launcher, const MessageTables& messages,
                        StatusRecordCounters* counters, int level,
                        int category);

/// One record per category that became active since the last call: for
/// every category but the quiet ones, its highest active severity makes the
/// record (EmitCategoryRecord) or, with none active, its counter goes back
/// to 0. The quiet categories 11 and 12 get a record when the summary is at
/// severity 1 in one of them and that one has none yet; the other one's
/// counter is then reset. Otherwise both counters are reset.
void UpdateStatusRecords(Launcher& launcher, const MessageTables& messages,
                         StatusRecordCounters* counters,
                         const ActiveEventTable& events,
                         const EventSummary& summary,
                         const CategoryContext& category_context);

/// UpdateStatusRecords on the records of the context (its launcher,
/// messages, counters, events, summary and UPS state). Does nothing when
/// one of them is missing.
void UpdateStatusRecords(ServiceContext& context);

}  // namespace zep
