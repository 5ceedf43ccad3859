#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "board_impl.h"

namespace zorbel::sim {

bool LockStateDir(const std::string& dir, intptr_t* handle) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  const std::string path = (std::filesystem::path(dir) / "board.lock").string();
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return true;  // a folder without a lock: as before
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const bool held = errno == EWOULDBLOCK;
    close(fd);
    return !held;
  }
  *handle = fd;
  return true;
}

void UnlockStateDir(intptr_t handle) {
  if (handle >= 0) close(static_cast<int>(handle));
}

}  // namespace zorbel::sim
