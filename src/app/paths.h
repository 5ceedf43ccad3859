#pragma once
// Path text helpers shared by every part that names files: the tool accepts
// both '/' and '\\' as separators, whatever the platform.
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

}  // namespace zorbel
