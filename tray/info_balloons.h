// The four information balloons of the menu (version, system, battery and
// rated information): their titles and line formats from the category
// table, each value asked from the service's UPS information items.
#pragma once

#include <string>

#include "message_files.h"
#include "service_queries.h"

namespace zep {

/// `format` with `value` in place of its first "%s"; every other character,
/// a second "%s" or a "%n" included, is copied as it stands. A format
/// without "%s" is returned unchanged. Formats come from a file any user
/// can edit, so they are never handed to a printf.
std::string SubstituteValue(const std::string& format,
                            const std::string& value);

struct InfoBalloon {
  std::string title;
  /// The lines, separated by "\r\n"; at most 519 bytes.
  std::string text;
};

/// The balloon of menu command 314, 315, 316 or 317. `version` is the
/// ZEP_VERSION setting (empty when not set); the other commands ask the
/// service. False for any other command.
bool BuildInfoBalloon(int command, const MessageTables& tables,
                      ServiceQueries& service, const std::string& version,
                      InfoBalloon* balloon);

}  // namespace zep
