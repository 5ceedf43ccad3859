#include "controls/ip_address_edit.h"

#include <QHBoxLayout>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

namespace zorbel {

IpAddressEdit::IpAddressEdit(QWidget* parent) : QWidget(parent) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  for (size_t i = 0; i < fields_.size(); ++i) {
    if (i > 0) layout->addWidget(new QLabel(QStringLiteral("."), this));
    auto* field = new QLineEdit(this);
    field->setObjectName(QStringLiteral("field%1").arg(i));
    field->setAccessibleName(tr("IP address, part %1").arg(i + 1));
    field->setValidator(new QIntValidator(0, 255, field));
    field->setMaxLength(3);
    field->setAlignment(Qt::AlignCenter);
    field->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 8);
    field->installEventFilter(this);
    layout->addWidget(field);
    fields_[i] = field;
  }
  layout->addStretch(1);
  setFocusProxy(fields_[0]);
}

std::array<int, 4> IpAddressEdit::Address() const {
  std::array<int, 4> address{};
  for (size_t i = 0; i < fields_.size(); ++i) address[i] = fields_[i]->text().toInt();
  return address;
}

void IpAddressEdit::SetAddress(const std::array<int, 4>& address) {
  for (size_t i = 0; i < fields_.size(); ++i) fields_[i]->setText(QString::number(address[i]));
}

void IpAddressEdit::FocusField(int index) {
  size_t at = 0;
  if (index >= 0 && index < 4) {
    at = static_cast<size_t>(index);
  } else {
    while (at < fields_.size() && !fields_[at]->text().isEmpty()) ++at;
    if (at == fields_.size()) at = 0;
  }
  fields_[at]->setFocus(Qt::TabFocusReason);
  fields_[at]->selectAll();
}

bool IpAddressEdit::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return QWidget::eventFilter(watched, event);
  auto* key = static_cast<QKeyEvent*>(event);
  int index = 0;
  while (index < 4 && fields_[static_cast<size_t>(index)] != watched) ++index;
  if (index == 4) return false;
  QLineEdit* field = fields_[static_cast<size_t>(index)];
  if (key->key() == Qt::Key_Tab && key->modifiers() == Qt::NoModifier) {
    FocusField(index + 1);
    return true;
  }
  // '.' moves on, as a dotted address is typed.
  if (key->text() == QStringLiteral(".") && index < 3) {
    if (!field->text().isEmpty()) FocusField(index + 1);
    return true;
  }
  return false;
}

}  // namespace zorbel
