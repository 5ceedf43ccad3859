#include "rom/rom_file.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/paths.h"
#include "rom/rom_layout.h"

namespace zorbel {

bool RomInput::Open(const std::string& path) {
  Close();
  if (path.empty()) return false;
  std::error_code ec;
  if (std::filesystem::is_directory(Utf8Path(path), ec)) return false;
  file_ = OpenRomFile(path, "rb");
  if (file_ == nullptr) return false;
  if (!buffer_) buffer_ = std::make_unique<char[]>(kRomStdioBuffer);
  std::setvbuf(file_, buffer_.get(), _IOFBF, kRomStdioBuffer);
  const auto size = std::filesystem::file_size(Utf8Path(path), ec);
  size_ = ec ? 0 : size;
  position_ = 0;
  return true;
}

void RomInput::Close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

size_t RomInput::Read(std::span<uint8_t> buf) {
  size_t got = 0;
  while (got < buf.size()) {
    const size_t n = std::fread(buf.data() + got, 1, buf.size() - got, file_);
    if (n == 0) break;
    got += n;
  }
  position_ += got;
  return got;
}

bool RomInput::Skip(uint64_t count) {
  if (count > size_ - std::min(size_, position_)) return false;
  if (!SeekFile(file_, position_ + count)) return false;
  position_ += count;
  return true;
}

std::string RomTarget::WorkingPath(const std::string& finalPath) { return finalPath + ".zorbel-part"; }

RomTarget::~RomTarget() {
  if (file_ != nullptr) {
    std::fclose(file_);
    std::error_code ec;
    std::filesystem::remove(Utf8Path(workPath_), ec);
  }
}

bool RomTarget::Open(const std::string& finalPath) {
  if (finalPath.empty()) return false;
  std::error_code ec;
  if (std::filesystem::is_directory(Utf8Path(finalPath), ec)) return false;
  // A file the user may not write stays refused, as writing it in place
  // would be; opening it for update changes nothing in it.
  if (std::filesystem::exists(Utf8Path(finalPath), ec)) {
    std::FILE* probe = OpenRomFile(finalPath, "r+b");
    if (probe == nullptr) return false;
    std::fclose(probe);
  }
  finalPath_ = finalPath;
  workPath_ = WorkingPath(finalPath);
  file_ = OpenRomFile(workPath_, "w+b");
  position_ = 0;
  size_ = 0;
  if (file_ == nullptr) return false;
  buffer_ = std::make_unique<char[]>(kRomStdioBuffer);
  std::setvbuf(file_, buffer_.get(), _IOFBF, kRomStdioBuffer);
  return true;
}

bool RomTarget::Write(std::span<const uint8_t> bytes) {
  if (bytes.empty()) return true;
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) return false;
  position_ += bytes.size();
  size_ = std::max(size_, position_);
  return true;
}

bool RomTarget::WriteFill(uint64_t count) {
  static constexpr auto kFill = [] {
    std::array<uint8_t, 4096> a{};
    a.fill(kRomFill);
    return a;
  }();
  while (count > 0) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(count, kFill.size()));
    if (!Write({kFill.data(), n})) return false;
    count -= n;
  }
  return true;
}

bool RomTarget::Seek(uint64_t position) {
  if (position > size_) {
    if (!SeekFile(file_, size_)) return false;
    position_ = size_;
    return WriteFill(position - size_);
  }
  if (!SeekFile(file_, position)) return false;
  position_ = position;
  return true;
}

bool RomTarget::SeekOver(uint64_t position) {
  if (!SeekFile(file_, position)) return false;
  position_ = position;
  return true;
}

bool RomTarget::Commit(bool syncToDisk) {
  if (file_ == nullptr) return false;
  const bool synced = std::fflush(file_) == 0 && (!syncToDisk || SyncFile(file_));
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  // The new file takes the place of the old one, permissions included.
  std::error_code ec;
  const auto old = std::filesystem::status(Utf8Path(finalPath_), ec);
  if (!ec && std::filesystem::exists(old))
    std::filesystem::permissions(Utf8Path(workPath_), old.permissions(), ec);
  if (synced && closed && RenameOverFile(workPath_, finalPath_)) return true;
  std::filesystem::remove(Utf8Path(workPath_), ec);
  return false;
}

}  // namespace zorbel
