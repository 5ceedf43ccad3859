#pragma once
// The production log: one JSON object per line for each board run of a
// recipe. Lines are appended whole and flushed to the disk per board
// (append_file.h); readers skip any line that is not a whole record, which is
// all a crash can leave behind.
#include <mutex>
#include <string>
#include <vector>

namespace zorbel {

struct LoggedFile {
  std::string path;
  std::string sha256;  // lower-case hexadecimal
  bool operator==(const LoggedFile&) const = default;
};

struct LoggedStep {
  int line = 0;                   // the recipe's line number
  std::string command;            // the line as written
  std::string result;             // "ok", "failed", "not run"
  std::vector<LoggedFile> files;  // what the step sent
  bool operator==(const LoggedStep&) const = default;
};

struct BoardRunLog {
  std::string board;    // the board's USB location
  std::string loader;   // the loader's version label
  std::string started;  // UTC, ISO 8601 with milliseconds
  std::string ended;
  std::vector<LoggedStep> steps;
  std::string result;  // "ok", "failed", "not connected", "stopped"
  bool operator==(const BoardRunLog&) const = default;
};

// One line of JSON, without its line end.
std::string FormatRunLog(const BoardRunLog& run);
// False for a line that is not a whole record.
bool ParseRunLog(const std::string& line, BoardRunLog& run);
// Every whole record of the file, in order; torn lines are skipped.
std::vector<BoardRunLog> ReadRunLog(const std::string& path);

// The time now as "2026-12-07T05:30:00.123Z".
std::string UtcTimestamp();

// A log file shared by every board of a station.
class RunLogFile {
 public:
  explicit RunLogFile(std::string path) : path_(std::move(path)) {}
  // Appends the record whole and flushes it to the disk.
  bool Append(const BoardRunLog& run);

 private:
  std::mutex mutex_;
  std::string path_;
};

}  // namespace zorbel
