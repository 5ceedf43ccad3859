#pragma once
// Path text helpers shared by every part that names files: the tool accepts
// both '/' and '\\' as separators, whatever the platform.
#include <filesystem>
#include <string>
#include <string_view>

namespace zorbel {

// Up to and including the last '/' or '\\'; empty when there is none.
std::string FolderPart(std::string_view path);
// After the last '/' or '\\'; the whole text when there is none.
std::string FileNamePart(std::string_view path);
// A file in the executable's folder. moduleDirectory normally ends in a
// separator; one is added when it does not (an empty folder gives the bare name).
std::string ModuleFile(std::string_view moduleDirectory, std::string_view name);

// Path texts are UTF-8 throughout the tool; this makes the file-system path
// from one without going through the system's narrow code page (Windows).
std::filesystem::path Utf8Path(std::string_view path);
// And back: the path's UTF-8 text.
std::string PathText(const std::filesystem::path& path);

}  // namespace zorbel
