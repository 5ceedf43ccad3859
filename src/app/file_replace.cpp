#include "app/file_replace.h"

#include <filesystem>
#include <fstream>

#include "app/paths.h"

namespace zorbel {

namespace {

std::ios::openmode Flags(std::ios::openmode base, FileMode mode) {
  return mode == FileMode::kBinary ? base | std::ios::binary : base;
}

}  // namespace

bool ReplaceFileWhole(const std::string& path, std::string_view content, FileMode mode) {
  const std::filesystem::path target = Utf8Path(path);
  const std::filesystem::path temp = Utf8Path(path + ".new~");
  std::error_code ec;
  {
    std::ofstream out(temp, Flags(std::ios::out | std::ios::trunc, mode));
    if (!out) return false;
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.flush();
    const bool written = static_cast<bool>(out);
    out.close();
    if (!written || out.fail()) {
      std::filesystem::remove(temp, ec);
      return false;
    }
  }
  std::filesystem::rename(temp, target, ec);
  if (ec) {
    std::filesystem::remove(temp, ec);
    return false;
  }
  return true;
}

bool OpenForReading(std::ifstream& in, const std::string& path, FileMode mode) {
  const std::filesystem::path file = Utf8Path(path);
  std::error_code ec;
  if (std::filesystem::is_directory(file, ec)) return false;
  in.open(file, Flags(std::ios::in, mode));
  if (!in.is_open()) return false;
  if (mode == FileMode::kText) {
    char bom[3] = {};
    in.read(bom, 3);
    if (in.gcount() != 3 || bom[0] != '\xEF' || bom[1] != '\xBB' || bom[2] != '\xBF') {
      in.clear();
      in.seekg(0);
    }
  }
  return true;
}

}  // namespace zorbel
