#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "app/file_replace.h"

namespace zorbel {

const char kTextLineEnd[] = "\n";

std::FILE* CreateExclusive(const std::string& path) {
  // O_EXCL never follows a link at the name: it fails as for any other file.
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  std::FILE* file = fdopen(fd, "w+b");
  if (file == nullptr) {
    close(fd);
    unlink(path.c_str());
  }
  return file;
}

bool SyncFile(std::FILE* file) { return fsync(fileno(file)) == 0; }

bool RenameOverFile(const std::string& from, const std::string& to) {
  if (std::rename(from.c_str(), to.c_str()) != 0) return false;
  // The rename lives in the folder's entry; sync it too so a crash cannot
  // bring the old name back without the new data. Best effort: some file
  // systems refuse to sync a folder.
  auto dir = std::filesystem::path(to).parent_path();
  if (dir.empty()) dir = ".";
  const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    fsync(fd);
    close(fd);
  }
  return true;
}

}  // namespace zorbel
