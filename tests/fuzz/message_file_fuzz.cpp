// Fuzz target: a message file as a user may have edited it, read with
// ParseMessageFile into a table of the levels' size (so that a full table
// is reached), then looked up by every identifier it gave, into output
// buffers of exactly the size the look-up is told of.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_check.h"
#include "message_files.h"
#include "scratch_file.h"

namespace zep {
namespace {

bool Terminated(const char* text, size_t size) {
  return std::memchr(text, '\0', size) != nullptr;
}

void LookUp(const MessageTables& tables, int kind, int identifier,
            size_t out_size) {
  for (int selector = -1; selector <= 1; ++selector) {
    std::vector<char> out(out_size, 'x');
    int index = LookupMessage(tables, out.data(), out.size(), kind, identifier,
                              selector);
    Check(index >= -1, "a look-up gives an index or -1");
    if (index >= 0 && selector >= 0) {
      Check(Terminated(out.data(), out.size()), "a text found is terminated");
    }
    std::vector<char> text(out_size, 'x');
    int length = GetMessage(tables, text.data(), text.size(), kind, identifier,
                            selector, "default");
    Check(length >= 0 && length < static_cast<int>(kMessageBufferSize),
          "a message text fits the working buffer");
  }
}

}  // namespace
}  // namespace zep

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zep;
  static ScratchFile file("level_en.msg");
  if (!file.Write(data, size)) return 0;

  static MessageTables tables;
  ClearMessageTables(&tables);
  int count = ParseMessageFile(tables.levels, kLevelCapacity,
                               file.path().c_str());
  Check(count >= 0 && count <= kLevelCapacity,
        "a file never gives more records than the table holds");
  for (int i = 0; i < kLevelCapacity; ++i) {
    const MessageRecord& record = tables.levels[i];
    Check(Terminated(record.first_text, kMessageTextSize) &&
              Terminated(record.second_text, kMessageTextSize),
          "record texts are terminated within their fields");
    if (i >= count) {
      Check(record.identifier == 0 && record.first_text[0] == '\0',
            "records past the count stay empty");
    }
  }
  for (int i = 0; i < count; ++i) {
    const int identifier = tables.levels[i].identifier;
    LookUp(tables, kKindLevel, identifier, kMessageBufferSize);
    LookUp(tables, kKindLevel, identifier, 5);
    Check(LookupMessage(tables, nullptr, 0, kKindLevel, identifier, -1) <= i ||
              identifier < 0,
          "a record read is found at its place or before");
  }
  return 0;
}
