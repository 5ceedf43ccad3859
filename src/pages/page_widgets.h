#pragma once
// The controls the pages are built of, placed in dialog units and named by
// their control identifiers, each label the buddy of its field so tests and
// screen readers find a field by its label.
#include <QButtonGroup>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRect>
#include <string>

namespace zorbel {

class PageHost;
struct ToolState;

QLabel* AddLabel(QWidget* page, const char* text, const QRect& rect);
// An edit with its label; maxLength 0: no limit.
QLineEdit* AddLabelledEdit(QWidget* page, const char* id, const char* label, const QRect& labelRect,
                           const QRect& editRect, int maxLength);
// A radio button of group, its index in the group being its value.
QRadioButton* AddRadio(QWidget* page, QButtonGroup* group, int index, const char* id, const char* text,
                       const QRect& rect);
QPushButton* AddButton(QWidget* page, const char* id, const char* text, const QRect& rect);
// An edit's text as the core takes it (UTF-8).
std::string FieldText(const QLineEdit* edit);
// The connection reaches the board as a disk (the operations' disk variants).
bool OverDisk(PageHost& host);
bool OverDisk(const ToolState& state);

}  // namespace zorbel
