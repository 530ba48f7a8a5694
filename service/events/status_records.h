// Status records: every noteworthy moment of the service becomes a run of
// the user's "status.bat" with a level, a code and up to four texts. The
// installation decides what to do with them (a log, a message).
#pragma once

#include "launcher.h"
#include "message_files.h"

namespace zep {

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

}  // namespace zep
