#pragma once
// Appends a record to a file that several writers (threads, processes) share
// and that must survive a crash readable: the record goes out in one write at
// the file's end and is flushed to the disk before the call returns.
#include <string>
#include <string_view>

namespace zorbel {

// A crash can still cut the last record short; when the file does not end in
// a line end, one is written first, so a torn record stays a line of its own
// and never spoils the one that follows.
bool AppendLineWhole(const std::string& path, std::string_view line);

}  // namespace zorbel
