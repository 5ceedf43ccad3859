#include <windows.h>

#include <filesystem>

#include "board_impl.h"

namespace zorbel::sim {

bool LockStateDir(const std::string& dir, intptr_t* handle) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  const std::wstring path = (std::filesystem::path(dir) / "board.lock").wstring();
  // No sharing: a second opener gets a sharing violation while this one lives.
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return GetLastError() != ERROR_SHARING_VIOLATION;
  *handle = reinterpret_cast<intptr_t>(h);
  return true;
}

void UnlockStateDir(intptr_t handle) {
  if (handle != -1) CloseHandle(reinterpret_cast<HANDLE>(handle));
}

}  // namespace zorbel::sim
