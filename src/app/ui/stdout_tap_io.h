#pragma once
// The descriptor calls the standard-output tap needs, one implementation per
// platform (stdout_tap_io_posix.cpp, stdout_tap_io_win32.cpp).
#include <cstddef>

namespace zorbel::tap_io {

inline constexpr int kStdout = 1;

// Both ends are closed on exec / not inherited. False on failure.
bool MakePipe(int fds[2]);
int Duplicate(int fd);
bool Redirect(int from, int to);
// Bytes read, 0 at the end, negative on failure (interruptions are retried).
long ReadSome(int fd, char* buf, size_t size);
long WriteSome(int fd, const char* buf, size_t size);
void CloseFd(int fd);
// Standard output unbuffered per line from now on.
void LineBufferStdout();

}  // namespace zorbel::tap_io
