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

}  // namespace zorbel
