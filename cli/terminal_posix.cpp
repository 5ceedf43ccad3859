#include <fcntl.h>
#include <unistd.h>

#include "terminal.h"

namespace zorbel::cli {

bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) != 0; }

std::FILE* DataStream(bool debug) {
  std::fflush(stdout);
  const int dataFd = dup(STDOUT_FILENO);
  std::FILE* data = dataFd >= 0 ? fdopen(dataFd, "w") : nullptr;
  if (data == nullptr) return stdout;
  const int sink = debug ? dup(STDERR_FILENO) : open("/dev/null", O_WRONLY);
  if (sink >= 0) {
    dup2(sink, STDOUT_FILENO);
    close(sink);
  }
  return data;
}

}  // namespace zorbel::cli
