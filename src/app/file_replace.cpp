#include "app/file_replace.h"

#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <set>

#include "app/paths.h"
#include "app/text_fill.h"

namespace zorbel {

namespace {

namespace fs = std::filesystem;

std::ios::openmode Flags(std::ios::openmode base, FileMode mode) {
  return mode == FileMode::kBinary ? base | std::ios::binary : base;
}

std::string Utf8Text(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// The working file's name: beside the target, so the rename stays on one
// file system, and unpredictable, so nobody can plant something there first.
std::string WorkingName(const std::string& target, std::mt19937_64& random) {
  char suffix[24];
  std::snprintf(suffix, sizeof suffix, ".%08llx", static_cast<unsigned long long>(random() & 0xFFFFFFFFu));
  return target + suffix + ".zorbel-part";
}

std::mutex gUnfinishedMutex;
std::set<std::string> gUnfinished;

void NoteUnfinished(const std::string& work, bool inProgress) {
  std::lock_guard<std::mutex> lock(gUnfinishedMutex);
  if (inProgress) {
    gUnfinished.insert(work);
  } else {
    gUnfinished.erase(work);
  }
}

}  // namespace

void RemoveUnfinishedFiles() {
  std::lock_guard<std::mutex> lock(gUnfinishedMutex);
  std::error_code ec;
  for (const std::string& work : gUnfinished) fs::remove(Utf8Path(work), ec);
}

std::string ResolveWriteTarget(const std::string& path) {
  if (path.empty()) return {};
  std::error_code ec;
  const fs::path file = Utf8Path(path);
  const fs::file_status own = fs::symlink_status(file, ec);
  if (own.type() == fs::file_type::not_found) return path;
  if (own.type() == fs::file_type::regular) return path;
  if (own.type() != fs::file_type::symlink) return {};
  // The link is kept and the file it names replaced; a link to anything but
  // a regular file, or one that leads nowhere, is refused.
  if (fs::status(file, ec).type() != fs::file_type::regular) return {};
  const fs::path real = fs::canonical(file, ec);
  return ec ? std::string() : Utf8Text(real);
}

std::string WriteTargetRefusal(const std::string& path) {
  if (!path.empty() && ResolveWriteTarget(path).empty()) return FillText(kNotRegularFileFormat, path);
  return {};
}

bool FileReplacement::Begin(const std::string& path) {
  Discard();
  refusal_.clear();
  target_ = ResolveWriteTarget(path);
  if (target_.empty()) {
    if (!path.empty()) refusal_ = FillText(kNotRegularFileFormat, path);
    return false;
  }
  std::random_device seed;
  std::mt19937_64 random((static_cast<uint64_t>(seed()) << 32) ^ seed());
  constexpr int kAttempts = 16;
  for (int i = 0; i < kAttempts && file_ == nullptr; ++i) {
    work_ = WorkingName(target_, random);
    file_ = CreateExclusive(work_);
  }
  if (file_ != nullptr) NoteUnfinished(work_, true);
  return file_ != nullptr;
}

bool FileReplacement::Commit() {
  if (file_ == nullptr) return false;
  const bool synced = std::fflush(file_) == 0 && std::ferror(file_) == 0 && SyncFile(file_);
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  std::error_code ec;
  // The new file takes the place of the old one, permissions included.
  const auto old = fs::status(Utf8Path(target_), ec);
  if (!ec && fs::exists(old)) fs::permissions(Utf8Path(work_), old.permissions(), ec);
  const bool renamed = synced && closed && RenameOverFile(work_, target_);
  if (!renamed) fs::remove(Utf8Path(work_), ec);
  NoteUnfinished(work_, false);
  return renamed;
}

void FileReplacement::Discard() {
  if (file_ == nullptr) return;
  std::fclose(file_);
  file_ = nullptr;
  std::error_code ec;
  fs::remove(Utf8Path(work_), ec);
  NoteUnfinished(work_, false);
}

bool ReplaceFileWhole(const std::string& path, std::string_view content, FileMode mode) {
  FileReplacement replacement;
  if (!replacement.Begin(path)) return false;
  std::FILE* out = replacement.Stream();
  if (mode == FileMode::kText && kTextLineEnd[1] != '\0') {
    for (char c : content) {
      if (c == '\n' ? std::fputs(kTextLineEnd, out) < 0 : std::fputc(c, out) == EOF) return false;
    }
  } else if (!content.empty() && std::fwrite(content.data(), 1, content.size(), out) != content.size()) {
    return false;
  }
  return replacement.Commit();
}

std::string ReadSourceRefusal(const std::string& path, uint64_t maxSize) {
  std::error_code ec;
  const fs::path file = Utf8Path(path);
  // status follows links: a link to a regular file is read as that file.
  const fs::file_status status = fs::status(file, ec);
  if (status.type() == fs::file_type::not_found) return {};  // the open says so in its own words
  if (status.type() != fs::file_type::regular) return FillText(kNotRegularFileFormat, path);
  const uint64_t size = fs::file_size(file, ec);
  if (!ec && size > maxSize) return FillText(kTextFileTooLargeFormat, path);
  return {};
}

bool IsRegularFile(const std::string& path) {
  std::error_code ec;
  return !path.empty() && fs::is_regular_file(Utf8Path(path), ec);
}

bool OpenForReading(std::ifstream& in, const std::string& path, FileMode mode) {
  if (!IsRegularFile(path)) return false;
  if (!ReadSourceRefusal(path, mode == FileMode::kText ? kMaxTextFileSize : UINT64_MAX).empty()) return false;
  in.open(Utf8Path(path), Flags(std::ios::in, mode));
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
