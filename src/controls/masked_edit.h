#pragma once
// A single-line edit that only takes text fitting its mask, here the MAC form
// "##:##:##:##:##:##": each '#' takes one hex digit, shown upper case, and the
// control writes the other mask characters itself. Typing, backspace, delete,
// cut and paste keep the text aligned to the mask.
#include <QLineEdit>
#include <QString>

namespace zorbel {

inline constexpr const char* kMacMask = "##:##:##:##:##:##";

class MaskedEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit MaskedEdit(QWidget* parent = nullptr);

  const QString& Mask() const { return mask_; }
  // Delete and cut: a selection that reaches the end of the text goes;
  // otherwise its digits become '0' and its literals are written again.
  void ClearSelection();
  // The clipboard's text laid over the selection, or from the caret.
  void PasteMasked();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  static bool Allowed(QChar c);
  bool IsDigitPosition(int at) const { return mask_.at(at) == QLatin1Char('#'); }
  void TypeChar(QChar c);
  void Backspace();
  // The selection, or the caret as an empty one.
  void Selection(int* start, int* end) const;
  void SetTextAndCaret(const QString& text, int caret);

  QString mask_ = QString::fromLatin1(kMacMask);
};

}  // namespace zorbel
