#include <windows.h>

#include <QString>
#include <QWidget>
#include <string>

#include "app/ui/system_menu.h"

namespace zorbel::system_menu {

bool AddAboutItem(QWidget& window, const char* text) {
  // winId() makes the native window, which owns the system menu.
  HMENU menu = GetSystemMenu(reinterpret_cast<HWND>(window.winId()), FALSE);
  if (menu == nullptr) return false;
  const std::wstring item = QString::fromUtf8(text).toStdWString();
  return AppendMenuW(menu, MF_SEPARATOR, 0, nullptr) && AppendMenuW(menu, MF_STRING, kAboutCommand, item.c_str());
}

bool IsAboutCommand(const void* message) {
  const auto* msg = static_cast<const MSG*>(message);
  // The low four bits of a system command are the system's own.
  return msg->message == WM_SYSCOMMAND && (msg->wParam & 0xFFF0) == kAboutCommand;
}

}  // namespace zorbel::system_menu
