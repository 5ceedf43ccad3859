#include "controls/masked_edit.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>

namespace zorbel {

MaskedEdit::MaskedEdit(QWidget* parent) : QLineEdit(parent) {
  setMaxLength(static_cast<int>(mask_.size()));
  // Composed input and drops would bypass the mask.
  setAttribute(Qt::WA_InputMethodEnabled, false);
  setAcceptDrops(false);
}

namespace {

// Over the character at `at`, or appended when it is the end of the text.
void PutAt(QString& value, int at, QChar c) {
  if (at < value.size()) {
    value[at] = c;
  } else {
    value.append(c);
  }
}

}  // namespace

bool MaskedEdit::Allowed(QChar c) {
  return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
}

void MaskedEdit::Selection(int* start, int* end) const {
  if (hasSelectedText()) {
    *start = selectionStart();
    *end = selectionEnd();
  } else {
    *start = *end = cursorPosition();
  }
}

void MaskedEdit::SetTextAndCaret(const QString& value, int caret) {
  setText(value);
  setCursorPosition(caret);  // also scrolls the caret into view
}

void MaskedEdit::TypeChar(QChar typed) {
  const QChar c = typed.toUpper();
  int caret = 0;
  int end = 0;
  Selection(&caret, &end);
  QString value = text();
  const int maskLength = static_cast<int>(mask_.size());
  auto write = [&](QChar ch) { PutAt(value, caret++, ch); };
  if (Allowed(c)) {
    if (caret >= maskLength) return;
    if (!IsDigitPosition(caret)) write(mask_.at(caret));
    if (caret < maskLength && IsDigitPosition(caret)) write(c);
  } else {
    if (caret >= maskLength || IsDigitPosition(caret) || mask_.at(caret) != c) return;
    write(c);
  }
  SetTextAndCaret(value, caret);
}

void MaskedEdit::Backspace() {
  int start = 0;
  int end = 0;
  Selection(&start, &end);
  QString value = text();
  if (start == end && start > 0) --start;
  if (end < value.size()) {
    for (int i = start; i < end; ++i) {
      if (IsDigitPosition(i)) value[i] = QLatin1Char('0');
    }
  } else {
    value.remove(start, end - start);
  }
  SetTextAndCaret(value, start);
}

void MaskedEdit::ClearSelection() {
  int start = 0;
  int end = 0;
  Selection(&start, &end);
  QString value = text();
  if (end >= value.size()) {
    value.remove(start, end - start);
    end = start;
  } else {
    for (int i = start; i < end; ++i) value[i] = IsDigitPosition(i) ? QLatin1Char('0') : mask_.at(i);
  }
  setText(value);
  setSelection(start, end - start);
}

void MaskedEdit::PasteMasked() {
  const QMimeData* data = QApplication::clipboard()->mimeData();
  if (data == nullptr || !data->hasText()) return;
  const QString pasted = data->text();
  int start = 0;
  int end = 0;
  const bool selected = hasSelectedText();
  Selection(&start, &end);
  QString value = text();
  const int maskLength = static_cast<int>(mask_.size());
  // Without a selection: as many positions as the text lacks, from the caret.
  const int limit = std::min<int>(maskLength, selected ? end : start + maskLength - static_cast<int>(value.size()));
  int at = start;
  for (int from = 0; from < pasted.size() && at < limit; ++from, ++at) {
    QChar c = mask_.at(at);
    if (IsDigitPosition(at)) {
      c = pasted.at(from).toUpper();
      if (!Allowed(c)) c = QLatin1Char('0');
    }
    PutAt(value, at, c);
  }
  SetTextAndCaret(value, at);
}

void MaskedEdit::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Paste)) {
    PasteMasked();
  } else if (event->matches(QKeySequence::Cut) || event->key() == Qt::Key_Delete) {
    ClearSelection();  // nothing goes to the clipboard
  } else if (event->matches(QKeySequence::Copy)) {
    copy();
  } else if (event->key() == Qt::Key_Insert) {
    // swallowed: there is no overwrite mode to switch
  } else if (event->key() == Qt::Key_Backspace) {
    Backspace();
  } else if (!event->text().isEmpty() && event->text().at(0).isPrint() &&
             !(event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier))) {
    for (QChar c : event->text()) TypeChar(c);
  } else {
    QLineEdit::keyPressEvent(event);  // moving the caret, selecting, Enter and Tab
    return;
  }
  event->accept();
}

void MaskedEdit::contextMenuEvent(QContextMenuEvent* event) {
  // The edit's own menu would cut and paste past the mask.
  QMenu menu(this);
  menu.addAction(tr("Cu&t"), this, &MaskedEdit::ClearSelection)->setEnabled(hasSelectedText());
  menu.addAction(tr("&Copy"), this, &QLineEdit::copy)->setEnabled(hasSelectedText());
  menu.addAction(tr("&Paste"), this, &MaskedEdit::PasteMasked);
  menu.addAction(tr("&Delete"), this, &MaskedEdit::ClearSelection)->setEnabled(hasSelectedText());
  menu.addSeparator();
  menu.addAction(tr("Select &All"), this, &QLineEdit::selectAll);
  menu.exec(event->globalPos());
}

}  // namespace zorbel
