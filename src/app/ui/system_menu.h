#pragma once
// "&About ..." in the window's system menu, where the platform has one
// (system_menu_win32.cpp); elsewhere the window offers it in a context menu.
class QWidget;

namespace zorbel::system_menu {

// The system command of the item.
inline constexpr unsigned kAboutCommand = 16;

// Appends a separator and the item; false where there is no system menu.
bool AddAboutItem(QWidget& window, const char* text);
// True when a native message of the window is the item's system command.
bool IsAboutCommand(const void* message);

}  // namespace zorbel::system_menu
