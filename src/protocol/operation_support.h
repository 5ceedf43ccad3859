#pragma once
// Pieces every board operation shares: reporting through the context's
// services, the page's files, and the kept head's wire forms.
#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/file_replace.h"
#include "protocol/operation_context.h"
#include "protocol/records.h"

namespace zorbel {

// Bar colours of the operations (0x00BBGGRR).
inline constexpr uint32_t kBurnPhaseColour = 0x0000FF;  // red
inline constexpr uint32_t kRawBurnColour = 0x3CC85A;    // green
inline constexpr uint32_t kVerifyColour = 0x46BEEC;     // amber

void ShowMessage(const OperationContext& ctx, const std::string& text);
void PostProgress(const OperationContext& ctx, uint32_t message, uint32_t percent);
void SetBarColour(const OperationContext& ctx, uint32_t rgb);
Clock& ClockOf(const OperationContext& ctx);
bool AbortRequested(const OperationContext& ctx);
// Debug output: standard output, never required for operation.
void DebugLine(const char* text);

// A file read from start to end, closed on every exit.
class InputFile {
 public:
  InputFile() = default;
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  bool Open(const std::string& path);
  uint64_t Length() const { return length_; }
  bool SeekTo(uint64_t offset);
  // Reads up to n bytes; fewer only at the end of the file or on an error.
  size_t Read(void* buffer, size_t n);
  void Close();

 private:
  std::FILE* file_ = nullptr;
  uint64_t length_ = 0;
};

// A file the operation produces: written beside its final path and renamed
// over it by Commit, so an earlier file of that name is replaced whole or not
// at all. Destroyed uncommitted, it leaves nothing behind.
class StagedFile {
 public:
  // False when the file cannot be created or path is no regular file;
  // Refusal() then tells the latter.
  bool Create(const std::string& path);
  const std::string& Refusal() const { return replacement_.Refusal(); }
  bool Write(const void* data, size_t n);
  bool Commit();
  void Discard() { replacement_.Discard(); }

 private:
  FileReplacement replacement_;
  bool failed_ = false;
};

// The kept head as the fields of an ImageHead, and its first three words as a
// RawHead.
ImageHeadFields KeptImageFields(const KeptHead& kept);
std::array<uint8_t, kRawHeadSize> KeptRawHeadBytes(const KeptHead& kept);
void SetKeptName(KeptHead& kept, const std::string& name);

// The NAND verify's copy: the image file's folder, "_", the image file's name.
std::string VerifyCopyPath(const std::string& imagePath);

}  // namespace zorbel
