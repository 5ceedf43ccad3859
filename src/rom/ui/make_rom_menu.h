#pragma once
// "Make ROM" in a menu of the main window, with one entry per medium, so the
// dialogs can be reached without a raw-data page.
class QMenu;
class QWidget;

namespace zorbel {

class PageHost;

inline constexpr const char* kMakeRomMenu = "Make ROM";

void AddMakeRomMenu(QMenu& menu, PageHost& host, QWidget* parent);

}  // namespace zorbel
