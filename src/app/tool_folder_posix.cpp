#include <unistd.h>

#include <cstdlib>
#include <string>

#include "app/paths.h"
#include "app/tool_folder.h"

namespace zorbel {

std::string EnvironmentText(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string UserDataHome() {
  // A relative XDG_DATA_HOME is invalid and to be ignored.
  const std::string xdg = EnvironmentText("XDG_DATA_HOME");
  if (!xdg.empty() && xdg.front() == '/') return xdg;
  const std::string home = EnvironmentText("HOME");
  if (home.empty()) return {};
  return ModuleFile(home, ".local/share");
}

bool FolderWritable(const std::string& folder) { return ::access(folder.c_str(), W_OK | X_OK) == 0; }

}  // namespace zorbel
