#pragma once
// Replaces a file whole or not at all: the new content is written to a file
// created beside it, flushed to disk, closed and renamed over the old one. A
// failure at any step leaves the old file as it was and removes the partial
// one.
//
// Only regular files are replaced. A target that exists and is something else
// (a device node, a FIFO, a folder, a dangling link) is refused: renaming over
// it would swap a device for a file. A symbolic link to a regular file is
// followed, so the file it names is replaced and the link is kept.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>

namespace zorbel {

enum class FileMode { kBinary, kText };  // kText: "\n" becomes "\r\n" on Windows

// The text shown when a target or an input is not a regular file.
inline constexpr const char* kNotRegularFileFormat = "%s is not a regular file; nothing was done.";
// The text shown when a text file the tool reads whole is too large.
inline constexpr const char* kTextFileTooLargeFormat = "%s is larger than 1 MB; it is not a file of this tool.";
// Text files the tool reads (list files, settings, NAND ID table) are small;
// anything larger is not one of them and must not exhaust memory.
inline constexpr uint64_t kMaxTextFileSize = 1024 * 1024;

// The regular file a write to path ends up in: path itself, or the file its
// symbolic links name. Empty when path exists and is not a regular file.
std::string ResolveWriteTarget(const std::string& path);
// Empty when path may be written, else the text telling why not.
std::string WriteTargetRefusal(const std::string& path);

// A replacement written as a stream (read-back files, ROM files).
class FileReplacement {
 public:
  FileReplacement() = default;
  ~FileReplacement() { Discard(); }
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  // Creates the working file beside the target, exclusively (a name already
  // taken, by a file or a planted link, is never opened). False when the
  // target is refused or nothing can be created; Refusal() then tells why.
  bool Begin(const std::string& path);
  std::FILE* Stream() const { return file_; }
  const std::string& Refusal() const { return refusal_; }
  // Flushes, syncs to disk, closes and renames over the target.
  bool Commit();
  void Discard();

 private:
  std::FILE* file_ = nullptr;
  std::string target_;
  std::string work_;
  std::string refusal_;
};

bool ReplaceFileWhole(const std::string& path, std::string_view content, FileMode mode);

// Removes the working files of every replacement still in progress: a
// process about to end at the user's request leaves no litter behind.
void RemoveUnfinishedFiles();

// Opens a file to read it; false for anything that is not a regular, readable
// file (a FIFO would block the open, a folder opens as a stream on some
// systems and then reads as empty). In text mode a leading UTF-8 byte-order
// mark, as editors on Windows write it, is skipped so that it does not hide
// the first line, and a file larger than kMaxTextFileSize is refused.
bool OpenForReading(std::ifstream& in, const std::string& path, FileMode mode);
// Empty when path names a regular file, else the text telling why it is not
// read (kNotRegularFileFormat; kTextFileTooLargeFormat when maxSize is given).
std::string ReadSourceRefusal(const std::string& path, uint64_t maxSize = UINT64_MAX);
// True when path names a regular file (through links); checked before any
// open for reading, which would block on a FIFO.
bool IsRegularFile(const std::string& path);

// Platform parts (file_replace_posix.cpp, file_replace_win32.cpp). Paths are UTF-8.
// A text file's line end: "\n", or "\r\n" on Windows.
extern const char kTextLineEnd[];
// Creates path for reading and writing; fails when anything has the name.
std::FILE* CreateExclusive(const std::string& path);
// Data and metadata on disk before the file is renamed into place.
bool SyncFile(std::FILE* file);
// Renames over an existing file and makes the rename itself durable.
bool RenameOverFile(const std::string& from, const std::string& to);

}  // namespace zorbel
