#include <windows.h>

#include <string>
#include <vector>

#include "app/module_directory.h"
#include "app/paths.h"

namespace zorbel {

std::string ModuleDirectory() {
  // Long install paths exceed MAX_PATH; grow until the whole name fits.
  std::vector<char> path(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) return FolderPart(std::string(path.data(), length));
    path.resize(path.size() * 2);
  }
}

}  // namespace zorbel
