#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "app/ui/stdout_tap_io.h"

namespace zorbel::tap_io {

bool MakePipe(int fds[2]) { return _pipe(fds, 4096, _O_BINARY | _O_NOINHERIT) == 0; }

int Duplicate(int fd) { return _dup(fd); }

bool Redirect(int from, int to) { return _dup2(from, to) == 0; }

long ReadSome(int fd, char* buf, size_t size) { return _read(fd, buf, static_cast<unsigned>(size)); }

long WriteSome(int fd, const char* buf, size_t size) { return _write(fd, buf, static_cast<unsigned>(size)); }

void CloseFd(int fd) { _close(fd); }

// The C runtime has no line buffering: unbuffered is the nearest.
void LineBufferStdout() { std::setvbuf(stdout, nullptr, _IONBF, 0); }

}  // namespace zorbel::tap_io
