#pragma once
// Files of the ROM builders: an input read in chunks, and a target that is
// built beside its final path and renamed over it only when complete.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>

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
  // Removes the unfinished file unless Commit succeeded.
  ~RomTarget();
  RomTarget(const RomTarget&) = delete;
  RomTarget& operator=(const RomTarget&) = delete;

  // Creates the working file beside finalPath.
  bool Open(const std::string& finalPath);
  bool Write(std::span<const uint8_t> bytes);
  bool WriteFill(uint64_t count);
  // Moves the write position; a position past the end fills the gap with
  // 0xFF, never with the zeros a sparse seek would leave.
  bool Seek(uint64_t position);
  // Moves without filling: the caller writes every byte it skips later.
  bool SeekOver(uint64_t position);
  uint64_t Position() const { return position_; }
  uint64_t Size() const { return size_; }
  // Closes and renames over finalPath. With syncToDisk the data reaches the
  // disk first, so even a crash leaves the old file or the new one.
  bool Commit(bool syncToDisk);

  static std::string WorkingPath(const std::string& finalPath);

 private:
  std::unique_ptr<char[]> buffer_;
  std::FILE* file_ = nullptr;
  std::string finalPath_;
  std::string workPath_;
  uint64_t position_ = 0;
  uint64_t size_ = 0;
};

// Platform parts (rom_file_posix.cpp, rom_file_win32.cpp). Paths are UTF-8.
std::FILE* OpenRomFile(const std::string& path, const char* mode);
bool SeekFile(std::FILE* file, uint64_t position);
// Data and metadata on disk before the file is renamed into place.
bool SyncFile(std::FILE* file);
// Renames over an existing file and makes the rename itself durable.
bool RenameOverFile(const std::string& from, const std::string& to);

}  // namespace zorbel
