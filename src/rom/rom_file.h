#pragma once
// Files of the ROM builders: an input read in chunks, and a target that is
// built beside its final path and renamed over it only when complete.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "app/file_replace.h"

namespace zorbel {

class RomInput {
 public:
  RomInput() = default;
  ~RomInput() { Close(); }
  RomInput(const RomInput&) = delete;
  RomInput& operator=(const RomInput&) = delete;

  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return file_ != nullptr; }
  // The file's length when it was opened.
  uint64_t Size() const { return size_; }
  // Fills buf as far as the file goes; returns the bytes read (short only at
  // the end of the file or on a read error).
  size_t Read(std::span<uint8_t> buf);
  // Moves forward; false when that would pass the end of the file.
  bool Skip(uint64_t count);
  uint64_t Position() const { return position_; }

 private:
  std::unique_ptr<char[]> buffer_;
  std::FILE* file_ = nullptr;
  uint64_t size_ = 0;
  uint64_t position_ = 0;
};

// stdio buffer of the builders' files: few system calls per megabyte while
// the memory used stays fixed.
inline constexpr size_t kRomStdioBuffer = 256 * 1024;

class RomTarget {
 public:
  RomTarget() = default;
  RomTarget(const RomTarget&) = delete;
  RomTarget& operator=(const RomTarget&) = delete;

  // Creates the working file beside finalPath (FileReplacement::Begin).
  bool Open(const std::string& finalPath);
  // Why Open failed when finalPath is no regular file; empty otherwise.
  const std::string& Refusal() const { return replacement_.Refusal(); }
  bool Write(std::span<const uint8_t> bytes);
  bool WriteFill(uint64_t count);
  // Moves the write position; a position past the end fills the gap with
  // 0xFF, never with the zeros a sparse seek would leave.
  bool Seek(uint64_t position);
  // Moves without filling: the caller writes every byte it skips later.
  bool SeekOver(uint64_t position);
  uint64_t Position() const { return position_; }
  uint64_t Size() const { return size_; }
  // Syncs to disk, closes and renames over finalPath: even a crash leaves
  // the old file or the new one. Without it the working file is removed.
  bool Commit();

 private:
  std::unique_ptr<char[]> buffer_;
  FileReplacement replacement_;
  std::FILE* file_ = nullptr;
  uint64_t position_ = 0;
  uint64_t size_ = 0;
};

// A ROM file must not replace what it is built from: the list file or one
// of the images (through any name, link or hard link). True when target is
// the same file as one of sources.
bool IsOneOfFiles(const std::string& target, const std::vector<std::string>& sources);
// The refusal of such a target.
inline constexpr const char* kTargetIsSource = "ERROR: The target file is one of the files it is built from !";

class ProfileReader;
// Opens the list's [Target Image] for writing unless it is the list file or
// a file one of the other sections' `Image` names. Empty when it is open,
// else the text to show: kTargetIsSource, the refusal of a target that is no
// regular file, or cantOpen.
std::string OpenRomTarget(RomTarget& target, ProfileReader& list, const char* cantOpen);

// Platform parts (rom_file_posix.cpp, rom_file_win32.cpp). Paths are UTF-8.
std::FILE* OpenRomFile(const std::string& path, const char* mode);
bool SeekFile(std::FILE* file, uint64_t position);

}  // namespace zorbel
