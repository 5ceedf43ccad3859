#pragma once
// Replaces a file whole or not at all: the new content is written to a file
// beside it, flushed, closed and renamed over the old one. A failure at any
// step leaves the old file as it was and removes the partial one.
#include <fstream>
#include <string>
#include <string_view>

namespace zorbel {

enum class FileMode { kBinary, kText };  // kText: "\n" becomes "\r\n" on Windows

bool ReplaceFileWhole(const std::string& path, std::string_view content, FileMode mode);

// Opens a file to read it; false for anything that is not a readable file
// (a folder opens as a stream on some systems and then reads as empty). In
// text mode a leading UTF-8 byte-order mark, as editors on Windows write it,
// is skipped so that it does not hide the first line.
bool OpenForReading(std::ifstream& in, const std::string& path, FileMode mode);

}  // namespace zorbel
