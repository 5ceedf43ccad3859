#include "app/process_console.h"

namespace zorbel {

bool OpenProcessConsole() { return false; }

}  // namespace zorbel
