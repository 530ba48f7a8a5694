// The property reader of the custom actions against Windows Installer's own
// sessions (msi.dll; under Wine its implementation), with
// "CustomActionData" set as the installation package sets it for an action.
#include "custom_action_data.h"

#include <gtest/gtest.h>

#include <string>

#include "msi_session.h"

namespace zep {
namespace {

TEST(CustomActionData, ReadsTheWholeTextOrNothing) {
  EmptyPackageSession package;
  ASSERT_EQ(package.Open(), static_cast<UINT>(ERROR_SUCCESS));
  // A program path or window name of any length up to the limit comes back
  // whole, also past the 259 characters of a fixed path buffer; an empty
  // property, one never set and one past the limit give nothing to act on.
  struct Case {
    int length;  // -1: never set
    bool read;
  };
  const Case cases[] = {{-1, false},   {0, false},    {1, true},
                        {259, true},   {260, true},   {1000, true},
                        {32767, true}, {32768, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE("length " + std::to_string(c.length));
    std::wstring text;
    for (int i = 0; i < c.length; ++i) text += L"zepg\\"[i % 5];
    if (c.length >= 0) {
      ASSERT_EQ(
          MsiSetPropertyW(package.session(), L"CustomActionData", text.c_str()),
          static_cast<UINT>(ERROR_SUCCESS));
    }
    std::unique_ptr<wchar_t[]> got = ReadCustomActionData(package.session());
    if (c.read) {
      ASSERT_TRUE(got);
      EXPECT_EQ(std::wstring(got.get()), text);
    } else {
      EXPECT_FALSE(got);
    }
  }
}

}  // namespace
}  // namespace zep
