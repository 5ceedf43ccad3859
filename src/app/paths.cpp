#include "app/paths.h"

namespace zorbel {

namespace {

size_t LastSeparator(std::string_view path) { return path.find_last_of("/\\"); }

}  // namespace

std::string FolderPart(std::string_view path) {
  const size_t pos = LastSeparator(path);
  return pos == std::string_view::npos ? std::string() : std::string(path.substr(0, pos + 1));
}

std::string FileNamePart(std::string_view path) {
  const size_t pos = LastSeparator(path);
  return std::string(pos == std::string_view::npos ? path : path.substr(pos + 1));
}

std::string ModuleFile(std::string_view moduleDirectory, std::string_view name) {
  std::string result(moduleDirectory);
  if (!result.empty() && result.back() != '/' && result.back() != '\\') result += '/';
  result += name;
  return result;
}

std::filesystem::path Utf8Path(std::string_view path) {
  const std::u8string text(path.begin(), path.end());
  return std::filesystem::path(text);
}

std::string PathText(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace zorbel
