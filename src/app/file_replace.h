#pragma once
// Replaces a file whole or not at all: the new content is written to a file
// beside it, flushed, closed and renamed over the old one. A failure at any
// step leaves the old file as it was and removes the partial one.
#include <string>
#include <string_view>

namespace zorbel {

enum class FileMode { kBinary, kText };  // kText: "\n" becomes "\r\n" on Windows

bool ReplaceFileWhole(const std::string& path, std::string_view content, FileMode mode);

}  // namespace zorbel
