#include "protocol/operation_support.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "app/file_replace.h"

namespace zorbel {

void ShowMessage(const OperationContext& ctx, const std::string& text) {
  if (ctx.prompt != nullptr) ctx.prompt->ShowMessage(text);
}

void PostProgress(const OperationContext& ctx, uint32_t message, uint32_t percent) {
  if (ctx.progress != nullptr) ctx.progress->Progress(message, static_cast<int>(percent));
}

void SetBarColour(const OperationContext& ctx, uint32_t rgb) {
  if (ctx.progress != nullptr) ctx.progress->SetBarColour(rgb);
}

Clock& ClockOf(const OperationContext& ctx) {
  static RealClock realClock;
  return ctx.clock != nullptr ? *ctx.clock : realClock;
}

bool AbortRequested(const OperationContext& ctx) { return ctx.abort != nullptr && ctx.abort->IsSet(); }

void DebugLine(const char* text) {
  std::fputs(text, stdout);
  std::fflush(stdout);
}

InputFile::~InputFile() { Close(); }

bool InputFile::Open(const std::string& path) {
  Close();
  if (path.empty()) return false;
  if (!IsRegularFile(path)) return false;
  std::error_code ec;
  file_ = std::fopen(path.c_str(), "rb");
  if (file_ == nullptr) return false;
  const auto size = std::filesystem::file_size(path, ec);
  if (ec) {
    Close();
    return false;
  }
  length_ = size;
  return true;
}

bool InputFile::SeekTo(uint64_t offset) {
  if (file_ == nullptr || offset > length_) return false;
  std::rewind(file_);
  // Offsets are small (a header or a loader prefix); skip them by reading.
  uint8_t scratch[4096];
  while (offset > 0) {
    const size_t step = static_cast<size_t>(std::min<uint64_t>(offset, sizeof scratch));
    if (std::fread(scratch, 1, step, file_) != step) return false;
    offset -= step;
  }
  return true;
}

size_t InputFile::Read(void* buffer, size_t n) {
  if (file_ == nullptr) return 0;
  return std::fread(buffer, 1, n, file_);
}

void InputFile::Close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  length_ = 0;
}

bool StagedFile::Create(const std::string& path) {
  failed_ = false;
  return replacement_.Begin(path);
}

bool StagedFile::Write(const void* data, size_t n) {
  std::FILE* file = replacement_.Stream();
  if (file == nullptr) return false;
  if (std::fwrite(data, 1, n, file) != n) failed_ = true;
  return !failed_;
}

bool StagedFile::Commit() {
  if (failed_) {
    replacement_.Discard();
    return false;
  }
  return replacement_.Commit();
}

ImageHeadFields KeptImageFields(const KeptHead& kept) {
  ImageHeadFields f;
  f.command = static_cast<HeadCommand>(kept.command);
  f.length = kept.length;
  f.number = kept.number;
  const auto end = std::find(kept.name.begin(), kept.name.end(), '\0');
  f.name.assign(kept.name.begin(), end);
  f.type = kept.type;
  f.execAddress = kept.executeAddress;
  f.start = kept.start;
  return f;
}

std::array<uint8_t, kRawHeadSize> KeptRawHeadBytes(const KeptHead& kept) {
  return EncodeRawHead(RawHead{kept.command, kept.length, kept.number});
}

void SetKeptName(KeptHead& kept, const std::string& name) {
  const auto field = EncodeImageName(name);
  std::memcpy(kept.name.data(), field.data(), kept.name.size());
}

std::string VerifyCopyPath(const std::string& imagePath) {
  const size_t cut = imagePath.find_last_of("\\/");
  const size_t nameStart = cut == std::string::npos ? 0 : cut + 1;
  return imagePath.substr(0, nameStart) + "_" + imagePath.substr(nameStart);
}

}  // namespace zorbel
