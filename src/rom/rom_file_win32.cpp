#include <io.h>
#include <windows.h>

#include <cstdio>
#include <filesystem>

#include "rom/rom_file.h"

namespace zorbel {

bool SeekFile(std::FILE* file, uint64_t position) {
  return _fseeki64(file, static_cast<__int64>(position), SEEK_SET) == 0;
}

bool SyncFile(std::FILE* file) { return _commit(_fileno(file)) == 0; }

bool ReplaceFile(const std::string& from, const std::string& to) {
  const std::wstring wfrom = std::filesystem::path(from).wstring();
  const std::wstring wto = std::filesystem::path(to).wstring();
  return MoveFileExW(wfrom.c_str(), wto.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace zorbel
