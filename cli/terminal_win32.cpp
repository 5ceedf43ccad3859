#include <fcntl.h>
#include <io.h>

#include "terminal.h"

namespace zorbel::cli {

bool IsTerminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

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
