#include "app/file_replace.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace zorbel {

bool ReplaceFileWhole(const std::string& path, std::string_view content, FileMode mode) {
  const std::string temp = path + ".new~";
  {
    std::ios::openmode flags = std::ios::out | std::ios::trunc;
    if (mode == FileMode::kBinary) flags |= std::ios::binary;
    std::ofstream out(temp, flags);
    if (!out) return false;
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.flush();
    if (!out) {
      out.close();
      std::remove(temp.c_str());
      return false;
    }
    out.close();
    if (out.fail()) {
      std::remove(temp.c_str());
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(temp, path, ec);
  if (ec) {
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

bool OpenForReading(std::ifstream& in, const std::string& path, FileMode mode) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) return false;
  in.open(path, mode == FileMode::kBinary ? std::ios::in | std::ios::binary : std::ios::in);
  return in.is_open();
}

}  // namespace zorbel
