#pragma once
// Ties a label to the field it names, so a screen reader or an automation
// client finds the field by the label's text: the label becomes the field's
// buddy and the field carries the text (without mnemonic marks) as its
// accessible name. Every labelled field of every page goes through this.
#include <QLabel>
#include <QWidget>

namespace zorbel {

inline void TieLabel(QLabel* label, QWidget* field) {
  label->setBuddy(field);
  QString name = label->text();
  name.replace(QLatin1String("&&"), QString(QChar::ObjectReplacementCharacter));
  name.remove(QLatin1Char('&'));
  name.replace(QChar::ObjectReplacementCharacter, QLatin1Char('&'));
  field->setAccessibleName(name);
}

}  // namespace zorbel
