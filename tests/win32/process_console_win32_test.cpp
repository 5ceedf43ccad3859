// Alt+P's console: one per process, with standard output reopened onto it,
// or, where no console can be had, standard output left as it was.
#include <windows.h>

#include <gtest/gtest.h>
#include <io.h>

#include <cstdio>

#include "app/process_console.h"

namespace zorbel {
namespace {

bool StdoutIsConsole() {
  DWORD mode = 0;
  return GetConsoleMode(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stdout))), &mode) != 0;
}

// A desktop session opens the console; a headless one (as under CI) has no
// console output to open, and the test checks that nothing was lost then.
TEST(ProcessConsoleWin32, OpensOnceOrLeavesStandardOutputAsItWas) {
  std::fflush(stdout);
  const DWORD typeBefore = GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stdout))));
  const int saved = _dup(_fileno(stdout));  // the test's own output, put back at the end
  ASSERT_GE(saved, 0);
  const bool opened = OpenProcessConsole();
  if (opened) {
    const HWND console = GetConsoleWindow();
    EXPECT_TRUE(StdoutIsConsole());
    EXPECT_TRUE(OpenProcessConsole());
    EXPECT_EQ(GetConsoleWindow(), console) << "a second Alt+P keeps the one console";
  } else {
    EXPECT_FALSE(OpenProcessConsole());
    EXPECT_EQ(GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stdout)))), typeBefore);
    EXPECT_GE(std::fputs("", stdout), 0) << "standard output still writes";
    EXPECT_EQ(std::fflush(stdout), 0);
  }
  std::fflush(stdout);
  _dup2(saved, _fileno(stdout));
  _close(saved);
}

}  // namespace
}  // namespace zorbel
