// The property reader of the custom actions against Windows Installer's own
// sessions (msi.dll; under Wine its implementation): a package made for the
// test, with "CustomActionData" set as the installation package would set
// it for an action.
#include "custom_action_data.h"

// windows.h first: the installer and shell headers need its types.
// clang-format off
#include <windows.h>
#include <msi.h>
#include <msiquery.h>
// clang-format on

#include <gtest/gtest.h>

#include <string>

namespace zep {
namespace {

// Summary information of a package: the property ids and value types of
// the four entries a package must have.
constexpr UINT kTemplate = 7;
constexpr UINT kRevision = 9;
constexpr UINT kPageCount = 14;
constexpr UINT kWordCount = 15;
constexpr UINT kText = 30;    // kText
constexpr UINT kInteger = 3;  // kInteger

// An installer handle, closed on every path.
class MsiHandle {
 public:
  MsiHandle() = default;
  ~MsiHandle() { reset(); }
  void reset() {
    if (handle_ != 0) MsiCloseHandle(handle_);
    handle_ = 0;
  }
  MsiHandle(const MsiHandle&) = delete;
  MsiHandle& operator=(const MsiHandle&) = delete;
  MSIHANDLE* out() { return &handle_; }
  MSIHANDLE get() const { return handle_; }

 private:
  MSIHANDLE handle_ = 0;
};

// A session of an empty package: a database with the summary information
// and the Property table that a package must have.
class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
    wchar_t dir[MAX_PATH];
    ASSERT_NE(GetTempPathW(MAX_PATH, dir), 0u);
    ASSERT_NE(GetTempFileNameW(dir, L"zep", 0, path_), 0u);
    ASSERT_EQ(
        MsiOpenDatabaseW(path_, reinterpret_cast<LPCWSTR>(MSIDBOPEN_CREATE),
                         database_.out()),
        static_cast<UINT>(ERROR_SUCCESS));
    MsiHandle view;
    ASSERT_EQ(MsiDatabaseOpenViewW(
                  database_.get(),
                  L"CREATE TABLE `Property` (`Property` CHAR(72) NOT NULL, "
                  L"`Value` CHAR(0) NOT NULL LOCALIZABLE PRIMARY KEY "
                  L"`Property`)",
                  view.out()),
              static_cast<UINT>(ERROR_SUCCESS));
    ASSERT_EQ(MsiViewExecute(view.get(), 0), static_cast<UINT>(ERROR_SUCCESS));
    MsiHandle summary;
    ASSERT_EQ(
        MsiGetSummaryInformationW(database_.get(), nullptr, 4, summary.out()),
        static_cast<UINT>(ERROR_SUCCESS));
    MsiSummaryInfoSetPropertyW(summary.get(), kTemplate, kText, 0, nullptr,
                               L"x64;1033");
    MsiSummaryInfoSetPropertyW(summary.get(), kRevision, kText, 0, nullptr,
                               L"{6A1F0C52-2E4B-4D7A-9E55-0C3B7F1D2A90}");
    MsiSummaryInfoSetPropertyW(summary.get(), kPageCount, kInteger, 200,
                               nullptr, nullptr);
    MsiSummaryInfoSetPropertyW(summary.get(), kWordCount, kInteger, 2, nullptr,
                               nullptr);
    ASSERT_EQ(MsiSummaryInfoPersist(summary.get()),
              static_cast<UINT>(ERROR_SUCCESS));
    ASSERT_EQ(MsiDatabaseCommit(database_.get()),
              static_cast<UINT>(ERROR_SUCCESS));
    std::wstring name = L"#" + std::to_wstring(database_.get());
    ASSERT_EQ(MsiOpenPackageW(name.c_str(), session_.out()),
              static_cast<UINT>(ERROR_SUCCESS));
  }

  void TearDown() override {
    // The database file can go once nothing holds it open.
    session_.reset();
    database_.reset();
    DeleteFileW(path_);
  }

  wchar_t path_[MAX_PATH] = {};
  MsiHandle database_;
  MsiHandle session_;
};

TEST_F(SessionTest, ReadsTheWholeTextOrNothing) {
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
          MsiSetPropertyW(session_.get(), L"CustomActionData", text.c_str()),
          static_cast<UINT>(ERROR_SUCCESS));
    }
    std::unique_ptr<wchar_t[]> got = ReadCustomActionData(session_.get());
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
