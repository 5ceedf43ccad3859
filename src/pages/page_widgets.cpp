#include "pages/page_widgets.h"

#include "app/tool_state.h"
#include "app/ui/dialog_units.h"
#include "pages/page_host.h"

namespace zorbel {

QLabel* AddLabel(QWidget* page, const char* text, const QRect& rect) {
  auto* label = new QLabel(QString::fromUtf8(text), page);
  label->setGeometry(rect);
  return label;
}

QLineEdit* AddLabelledEdit(QWidget* page, const char* id, const char* label, const QRect& labelRect,
                           const QRect& editRect, int maxLength) {
  auto* edit = new QLineEdit(page);
  edit->setObjectName(QString::fromUtf8(id));
  edit->setGeometry(editRect);
  if (maxLength > 0) edit->setMaxLength(maxLength);
  AddLabel(page, label, labelRect)->setBuddy(edit);
  return edit;
}

QRadioButton* AddRadio(QWidget* page, QButtonGroup* group, int index, const char* id, const char* text,
                       const QRect& rect) {
  auto* radio = new QRadioButton(QString::fromUtf8(text), page);
  radio->setObjectName(QString::fromUtf8(id));
  radio->setGeometry(rect);
  group->addButton(radio, index);
  return radio;
}

QPushButton* AddButton(QWidget* page, const char* id, const char* text, const QRect& rect) {
  auto* button = new QPushButton(QString::fromUtf8(text), page);
  button->setObjectName(QString::fromUtf8(id));
  button->setAutoDefault(false);
  button->setGeometry(rect);
  return button;
}

std::string FieldText(const QLineEdit* edit) { return edit->text().toStdString(); }

bool OverDisk(PageHost& host) { return OverDisk(host.State()); }

bool OverDisk(const ToolState& state) { return state.connection.massStorageConnected != 0; }

}  // namespace zorbel
