#include "rom/rom_file.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/paths.h"
#include "app/profile_reader.h"
#include "rom/rom_layout.h"

namespace zorbel {

bool RomInput::Open(const std::string& path) {
  Close();
  if (path.empty()) return false;
  if (!IsRegularFile(path)) return false;
  std::error_code ec;
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

bool RomTarget::Open(const std::string& finalPath) {
  file_ = nullptr;
  position_ = 0;
  size_ = 0;
  if (finalPath.empty()) return false;
  // A file the user may not write stays refused, as writing it in place
  // would be; opening it for update changes nothing in it.
  const std::string target = ResolveWriteTarget(finalPath);
  std::error_code ec;
  if (!target.empty() && std::filesystem::exists(Utf8Path(target), ec)) {
    std::FILE* probe = OpenRomFile(target, "r+b");
    if (probe == nullptr) return false;
    std::fclose(probe);
  }
  if (!replacement_.Begin(finalPath)) return false;
  file_ = replacement_.Stream();
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

bool RomTarget::Commit() {
  if (file_ == nullptr) return false;
  file_ = nullptr;
  return replacement_.Commit();
}

bool IsOneOfFiles(const std::string& target, const std::vector<std::string>& sources) {
  std::error_code ec;
  const auto targetPath = Utf8Path(target);
  if (!std::filesystem::exists(targetPath, ec)) return false;
  for (const std::string& source : sources) {
    if (!source.empty() && std::filesystem::equivalent(targetPath, Utf8Path(source), ec)) return true;
  }
  return false;
}

std::string OpenRomTarget(RomTarget& target, ProfileReader& list, const char* cantOpen) {
  constexpr const char* kTargetSection = "Target Image";
  const std::string path = list.GetValue(kTargetSection, "Image");
  std::vector<std::string> sources{list.Path()};
  for (int i = 0; i < list.SectionCount(); ++i) {
    const std::string section = list.SectionName(i);
    if (section != kTargetSection) sources.push_back(list.GetValue(section, "Image"));
  }
  if (IsOneOfFiles(path, sources)) return kTargetIsSource;
  if (target.Open(path)) return {};
  return target.Refusal().empty() ? std::string(cantOpen) : target.Refusal();
}

}  // namespace zorbel
