#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include "terminal.h"

namespace zorbel::cli {

// Only a console counts: _isatty also says yes to NUL and to serial ports,
// which would leave a confirmation waiting on a device nobody types into.
bool IsTerminal(std::FILE* stream) {
  const intptr_t handle = _get_osfhandle(_fileno(stream));
  if (handle == -1) return false;
  DWORD mode = 0;
  return GetConsoleMode(reinterpret_cast<HANDLE>(handle), &mode) != 0;
}

std::FILE* DataStream(bool debug) {
  std::fflush(stdout);
  const int dataFd = _dup(_fileno(stdout));
  std::FILE* data = dataFd >= 0 ? _fdopen(dataFd, "wb") : nullptr;
  if (data == nullptr) return stdout;
  const int sink = debug ? _dup(_fileno(stderr)) : _open("NUL", _O_WRONLY);
  if (sink >= 0) {
    _dup2(sink, _fileno(stdout));
    _close(sink);
  }
  return data;
}

}  // namespace zorbel::cli
