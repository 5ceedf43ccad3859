#include <unistd.h>

#include <string>
#include <vector>

#include "app/module_directory.h"
#include "app/paths.h"

namespace zorbel {

std::string ModuleDirectory() {
  std::vector<char> path(4096);
  for (;;) {
    const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0) return {};
    if (static_cast<size_t>(length) < path.size()) {
      return FolderPart(std::string(path.data(), static_cast<size_t>(length)));
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace zorbel
