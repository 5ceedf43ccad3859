#include <windows.h>

#include <cstdio>

#include "app/process_console.h"

namespace zorbel {

bool OpenProcessConsole() {
  // Access denied means the process has a console already (started from one,
  // or Alt+P pressed before): that one is kept.
  if (!AllocConsole() && GetLastError() != ERROR_ACCESS_DENIED) return false;
  // freopen closes standard output even when the new file will not open, so
  // the console's output is tried first.
  const HANDLE probe = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
  if (probe == INVALID_HANDLE_VALUE) return false;
  CloseHandle(probe);
  return std::freopen("CONOUT$", "a", stdout) != nullptr;
}

}  // namespace zorbel
