#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "rom/rom_file.h"

namespace zorbel {

std::FILE* OpenRomFile(const std::string& path, const char* mode) { return std::fopen(path.c_str(), mode); }

bool SeekFile(std::FILE* file, uint64_t position) {
  return fseeko(file, static_cast<off_t>(position), SEEK_SET) == 0;
}

bool SyncFile(std::FILE* file) { return fsync(fileno(file)) == 0; }

bool RenameOverFile(const std::string& from, const std::string& to) {
  if (std::rename(from.c_str(), to.c_str()) != 0) return false;
  // The rename lives in the folder's entry; sync it too so a crash cannot
  // bring the old name back without the new data. Best effort: some file
  // systems refuse to sync a folder.
  auto dir = std::filesystem::path(to).parent_path();
  if (dir.empty()) dir = ".";
  const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd >= 0) {
    fsync(fd);
    close(fd);
  }
  return true;
}

}  // namespace zorbel
