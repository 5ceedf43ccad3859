#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/paths.h"
#include "app/tool_folder.h"

namespace zorbel {

std::string EnvironmentText(const char* name) {
  const std::wstring wideName = std::filesystem::path(name).wstring();
  const wchar_t* value = _wgetenv(wideName.c_str());
  if (value == nullptr) return {};
  const std::u8string text = std::filesystem::path(value).u8string();
  return std::string(text.begin(), text.end());
}

// Local, not roaming: the loaders belong to this machine's boards.
std::string UserDataHome() { return EnvironmentText("LOCALAPPDATA"); }

// Access rights on Windows are lists, not bits: the honest answer is to try.
// The probe file vanishes when its handle closes.
bool FolderWritable(const std::string& folder) {
  const std::wstring probe =
      (Utf8Path(folder) / (L".zorbel-write-check-" + std::to_wstring(GetCurrentProcessId()))).wstring();
  const HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE,
                                  nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

}  // namespace zorbel
