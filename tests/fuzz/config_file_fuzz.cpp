// Fuzz target: ZEP.conf as a user may have edited it, searched with
// ReadConfigEntryAt for the keys of both sections, into a buffer of exactly
// kConfigEntrySize bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "config.h"
#include "fuzz_check.h"
#include "scratch_file.h"
#include "text_lines.h"

namespace zep {
namespace {

struct Search {
  const char* section;
  const char* key;
};

constexpr Search kSearches[] = {
    {kConfigSection, "ZEP_PORT"},      {kConfigSection, "ZEP_LANG"},
    {kConfigSection, "ZEP_UPS_DELAY"}, {kProductSection, "ZEP_VERSION"},
    {kConfigSection, "A"},
};

void Find(const char* path, const Search& search) {
  std::vector<char> out(kConfigEntrySize, 'x');
  int length = ReadConfigEntryAt(out.data(), path, search.section, search.key);
  Check(length >= 0, "an existing file is always read");
  Check(length == ReadConfigEntryAt(nullptr, path, search.section, search.key),
        "asking for the length alone gives the same length");
  if (length == 0) return;
  Check(static_cast<size_t>(length) < kConfigEntrySize,
        "a setting text fits the entry buffer");
  Check(std::strlen(out.data()) == static_cast<size_t>(length),
        "a setting text is terminated at its length");
  const size_t key_length = std::strlen(search.key);
  Check(static_cast<size_t>(length) >= key_length &&
            std::memcmp(out.data(), search.key, key_length) == 0,
        "a setting text begins with its key");
  Check(std::strpbrk(out.data(), " ;") == nullptr,
        "a setting text ends before a blank or \";\"");

  // The value as GetConfigInt reads it.
  const char* equals = std::strchr(out.data(), '=');
  int value = 0;
  ParseLeadingDecimal(equals != nullptr ? equals + 1 : "", &value);
}

}  // namespace
}  // namespace zep

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zep;
  static ScratchFile file(kConfigFileName);
  if (!file.Write(data, size)) return 0;
  for (const Search& search : kSearches) Find(file.path().c_str(), search);
  return 0;
}
