#include <io.h>
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "app/paths.h"
#include "rom/rom_file.h"

namespace zorbel {

std::FILE* OpenRomFile(const std::string& path, const char* mode) {
  const std::wstring wmode(mode, mode + std::char_traits<char>::length(mode));
  return _wfopen(Utf8Path(path).c_str(), wmode.c_str());
}

bool SeekFile(std::FILE* file, uint64_t position) {
  return _fseeki64(file, static_cast<__int64>(position), SEEK_SET) == 0;
}

}  // namespace zorbel
