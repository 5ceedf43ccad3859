#include "app/ui/system_menu.h"

namespace zorbel::system_menu {

bool AddAboutItem(QWidget&, const char*) { return false; }

bool IsAboutCommand(const void*) { return false; }

}  // namespace zorbel::system_menu
