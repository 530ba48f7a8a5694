// An installer session of an empty package, for calling the custom actions
// (or what they are made of) outside a real installation: a database with
// the summary information and the Property table that every package has,
// opened as a package. Properties such as "CustomActionData" are then set
// on the session as the installation package would set them.
#pragma once

// windows.h first: the installer headers need its types.
// clang-format off
#include <windows.h>
#include <msi.h>
#include <msiquery.h>
// clang-format on

#include <string>

namespace zep {

// An installer handle, closed on every path.
class MsiHandle {
 public:
  MsiHandle() = default;
  ~MsiHandle() { reset(); }
  MsiHandle(const MsiHandle&) = delete;
  MsiHandle& operator=(const MsiHandle&) = delete;
  void reset() {
    if (handle_ != 0) MsiCloseHandle(handle_);
    handle_ = 0;
  }
  MSIHANDLE* out() { return &handle_; }
  MSIHANDLE get() const { return handle_; }

 private:
  MSIHANDLE handle_ = 0;
};

// The package's database file and its session. The file is deleted when
// both are closed.
class EmptyPackageSession {
 public:
  EmptyPackageSession() = default;
  EmptyPackageSession(const EmptyPackageSession&) = delete;
  EmptyPackageSession& operator=(const EmptyPackageSession&) = delete;
  ~EmptyPackageSession() {
    session_.reset();
    database_.reset();
    if (path_[0] != L'\0') DeleteFileW(path_);
  }

  // ERROR_SUCCESS, or the code of the step that failed.
  UINT Open() {
    MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
    wchar_t dir[MAX_PATH];
    if (GetTempPathW(MAX_PATH, dir) == 0 ||
        GetTempFileNameW(dir, L"zep", 0, path_) == 0) {
      return GetLastError();
    }
    UINT rc = MsiOpenDatabaseW(
        path_, reinterpret_cast<LPCWSTR>(MSIDBOPEN_CREATE), database_.out());
    if (rc != ERROR_SUCCESS) return rc;
    MsiHandle view;
    rc = MsiDatabaseOpenViewW(
        database_.get(),
        L"CREATE TABLE `Property` (`Property` CHAR(72) NOT NULL, "
        L"`Value` CHAR(0) NOT NULL LOCALIZABLE PRIMARY KEY `Property`)",
        view.out());
    if (rc == ERROR_SUCCESS) rc = MsiViewExecute(view.get(), 0);
    if (rc == ERROR_SUCCESS) rc = WriteSummary();
    if (rc == ERROR_SUCCESS) rc = MsiDatabaseCommit(database_.get());
    if (rc != ERROR_SUCCESS) return rc;
    std::wstring name = L"#" + std::to_wstring(database_.get());
    return MsiOpenPackageW(name.c_str(), session_.out());
  }

  MSIHANDLE session() const { return session_.get(); }

 private:
  // The summary information entries a package must have: the platform and
  // language, a package code, and the installer version and word count.
  UINT WriteSummary() {
    constexpr UINT kTemplate = 7, kRevision = 9, kPageCount = 14,
                   kWordCount = 15;
    constexpr UINT kText = 30, kInteger = 3;  // VT_LPSTR, VT_I4
    MsiHandle summary;
    UINT rc =
        MsiGetSummaryInformationW(database_.get(), nullptr, 4, summary.out());
    if (rc != ERROR_SUCCESS) return rc;
    MsiSummaryInfoSetPropertyW(summary.get(), kTemplate, kText, 0, nullptr,
                               L"x64;1033");
    MsiSummaryInfoSetPropertyW(summary.get(), kRevision, kText, 0, nullptr,
                               L"{6A1F0C52-2E4B-4D7A-9E55-0C3B7F1D2A90}");
    MsiSummaryInfoSetPropertyW(summary.get(), kPageCount, kInteger, 200,
                               nullptr, nullptr);
    MsiSummaryInfoSetPropertyW(summary.get(), kWordCount, kInteger, 2, nullptr,
                               nullptr);
    return MsiSummaryInfoPersist(summary.get());
  }

  wchar_t path_[MAX_PATH] = {};
  MsiHandle database_;
  MsiHandle session_;
};

}  // namespace zep
