#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "app/file_replace.h"
#include "app/paths.h"

namespace zorbel {

const char kTextLineEnd[] = "\r\n";

std::FILE* CreateExclusive(const std::string& path) {
  const std::wstring wpath = Utf8Path(path).wstring();
  // CREATE_NEW fails on any existing name, a reparse point included.
  HANDLE handle = CreateFileW(wpath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDWR | _O_BINARY);
  if (fd < 0) {
    CloseHandle(handle);
    DeleteFileW(wpath.c_str());
    return nullptr;
  }
  std::FILE* file = _fdopen(fd, "w+b");
  if (file == nullptr) {
    _close(fd);
    DeleteFileW(wpath.c_str());
  }
  return file;
}

bool SyncFile(std::FILE* file) { return _commit(_fileno(file)) == 0; }

bool RenameOverFile(const std::string& from, const std::string& to) {
  const std::wstring wfrom = Utf8Path(from).wstring();
  const std::wstring wto = Utf8Path(to).wstring();
  return MoveFileExW(wfrom.c_str(), wto.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace zorbel
