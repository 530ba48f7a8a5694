// serlink32.dll as Windows sees it: exports at their ordinals, the entry
// point's answers to each reason, the version resource.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "line_peer.h"
#include "serlink32.h"

namespace zep {
namespace test {
namespace {

using EntryPoint = BOOL(WINAPI*)(HINSTANCE, DWORD, LPVOID);

HMODULE Library() { return GetModuleHandleA("serlink32.dll"); }

std::string LibInfo() {
  char text[12];
  std::memset(text, 'x', sizeof text);
  if (Kbapi_COMGetLibInfo(text) != 1) return "(none)";
  return text;
}

// The library's published interface: the name at ordinal n is kExports[n-1].
// clang-format off
constexpr const char* kExports[] = {
    "Kbapi_COMClearBreak", "Kbapi_COMFlushRxBuff", "Kbapi_COMFlushTxBuff",
    "Kbapi_COMGetCommEnable", "Kbapi_COMGetLibInfo", "Kbapi_COMGetModemStatus",
    "Kbapi_COMMessageProcs", "Kbapi_COMPortClose", "Kbapi_COMPortOpen",
    "Kbapi_COMRecvChars", "Kbapi_COMRecvString", "Kbapi_COMSendString",
    "Kbapi_COMSetBoudrate", "Kbapi_COMSetBreak", "Kbapi_COMSetDTR",
    "Kbapi_COMSetRTS", "DllMain"};
// clang-format on

TEST(SerlinkDllTest, EveryExportSitsAtItsOrdinal) {
  HMODULE library = Library();
  ASSERT_NE(nullptr, library);
  for (WORD ordinal = 1; ordinal <= 17; ++ordinal) {
    const char* name = kExports[ordinal - 1];
    FARPROC by_name = GetProcAddress(library, name);
    EXPECT_NE(nullptr, by_name) << name;
    EXPECT_EQ(by_name, GetProcAddress(library, MAKEINTRESOURCEA(ordinal)))
        << name << " @" << ordinal;
  }
  EXPECT_EQ(nullptr, GetProcAddress(library, MAKEINTRESOURCEA(18)));
  EXPECT_EQ(nullptr, GetProcAddress(library, "_Kbapi_COMPortOpen@12"));
}

TEST(SerlinkDllTest, EntryPointAnswersEachReason) {
  HMODULE library = Library();
  ASSERT_NE(nullptr, library);
  auto entry = reinterpret_cast<EntryPoint>(
      reinterpret_cast<void*>(GetProcAddress(library, MAKEINTRESOURCEA(17))));
  ASSERT_NE(nullptr, entry);
  ASSERT_EQ("1.1", LibInfo());

  EXPECT_TRUE(entry(library, DLL_THREAD_ATTACH, nullptr));
  EXPECT_TRUE(entry(library, DLL_THREAD_DETACH, nullptr));
  EXPECT_FALSE(entry(library, 4, nullptr));
  EXPECT_FALSE(entry(library, 0xFFFF, nullptr));
  EXPECT_EQ("1.1", LibInfo());

  // Already initialised: a second attach changes nothing, so the module
  // handle stays the library's own (the test program has no version
  // resource to offer).
  EXPECT_TRUE(entry(GetModuleHandleA(nullptr), DLL_PROCESS_ATTACH, nullptr));
  EXPECT_EQ("1.1", LibInfo());

  // Detach forgets the module handle: no version can be found any more.
  EXPECT_TRUE(entry(library, DLL_PROCESS_DETACH, nullptr));
  EXPECT_EQ("(none)", LibInfo());
  // The slots still answer as closed slots do.
  EXPECT_EQ(0, Kbapi_COMGetCommEnable(0));
  EXPECT_EQ(1, Kbapi_COMSendString(nullptr, 0, 0));

  EXPECT_TRUE(entry(library, DLL_PROCESS_ATTACH, nullptr));
  EXPECT_EQ("1.1", LibInfo());
}

// The handles the process holds, found by asking about every handle value in
// a range far above what this test program uses. (Wine's handle count
// function always answers 0, so it cannot serve.)
int ValidHandleCount() {
  int count = 0;
  for (uintptr_t value = 4; value < 0x10000; value += 4) {
    DWORD flags = 0;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
  }
  return count;
}

TEST(SerlinkDllTest, ReopeningASlotKeepsNoOldHandle) {
  std::string why;
  std::unique_ptr<LinePeer> line = StartLinePeer(&why);
  if (line == nullptr) GTEST_SKIP() << why;
  const int before = ValidHandleCount();
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(1, Kbapi_COMPortOpen(line->device().c_str(), 9600, 0));
  }
  EXPECT_EQ(before + 1, ValidHandleCount());
  Kbapi_COMPortClose(0);
  EXPECT_EQ(before, ValidHandleCount());
}

}  // namespace
}  // namespace test
}  // namespace zep
