// The text of a category of the message tables as a string.
#pragma once

#include <string>

#include "message_files.h"

namespace zep {

/// The first text of `category`; `default_text` when the table has no such
/// record (and category 107, or "Unknown", when that is empty too).
std::string CategoryText(const MessageTables& tables, int category,
                         const char* default_text);

}  // namespace zep
