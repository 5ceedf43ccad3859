// The MAC-address edit through real key events and the clipboard; Tab in
// the IP address control.
#include "controls/masked_edit.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QTest>

#include "controls/ip_address_edit.h"

namespace zorbel {

class MaskedEditTest : public QObject {
  Q_OBJECT

  struct Case {
    const char* name;
    const char* before;
    int selStart;
    int selLength;  // 0: caret at selStart
    QKeyCombination key;  // Key_unknown: type the input
    const char* input;  // typed, or put on the clipboard for Ctrl+V
    const char* after;
    int caret;  // or the end of the selection left
  };

 private slots:
  void editing() {
    const QKeyCombination paste = Qt::CTRL | Qt::Key_V;
    const QKeyCombination type;
    const Case cases[] = {
        {"the colon comes from the mask", "", 0, 0, type, "0011", "00:11", 5},
        {"lower case shown upper", "", 0, 0, type, "a", "A", 1},
        {"G ignored, the mask's colon taken", "00", 2, 0, type, "G:", "00:", 3},
        {"a digit over a digit", "12:34", 1, 0, type, "f", "1F:34", 2},
        {"nothing past the mask", "12:34:56:78:9A:BC", 17, 0, type, "1", "12:34:56:78:9A:BC", 17},
        {"paste over a selection", "12:34:56", 0, 5, paste, "aa-bb", "AA:BB:56", 5},
        {"disallowed pasted digit is 0", "12:34", 0, 2, paste, "a?", "A0:34", 2},
        {"paste at the caret fills what is missing", "12:34:56:78:9A", 14, 0, paste, ":cde", "12:34:56:78:9A:CD", 17},
        {"paste into a full text", "12:34:56:78:9A:BC", 3, 0, paste, "ff", "12:34:56:78:9A:BC", 3},
        {"backspace in the middle zeroes", "12:34:56", 4, 0, Qt::Key_Backspace, "", "12:04:56", 3},
        {"backspace after a colon moves", "12:34", 3, 0, Qt::Key_Backspace, "", "12:34", 2},
        {"backspace at the end removes", "12:34", 5, 0, Qt::Key_Backspace, "", "12:3", 4},
        {"delete in the middle zeroes", "12:34:56", 1, 3, Qt::Key_Delete, "", "10:04:56", 4},
        {"cut to the end removes", "12:34:56", 5, 3, Qt::CTRL | Qt::Key_X, "", "12:34", 5},
        {"insert swallowed", "12", 1, 0, Qt::Key_Insert, "", "12", 1},
    };
    for (const Case& c : cases) {
      MaskedEdit edit;
      edit.show();
      edit.setText(c.before);
      edit.setSelection(c.selStart, c.selLength);
      QApplication::clipboard()->setText(c.key == paste ? c.input : "kept");
      if (c.key == type) {
        QTest::keyClicks(&edit, c.input);
      } else {
        QTest::keyClick(&edit, c.key.key(), c.key.keyboardModifiers());
      }
      QVERIFY2(edit.text() == c.after, c.name);
      QVERIFY2((edit.hasSelectedText() ? edit.selectionEnd() : edit.cursorPosition()) == c.caret, c.name);
      // Cut puts nothing on the clipboard.
      if (c.key != paste) QVERIFY2(QApplication::clipboard()->text() == "kept", c.name);
    }
  }

  void tabStaysInTheIpAddressControl() {
    QWidget window;
    auto* ip = new IpAddressEdit(&window);
    auto* next = new QLineEdit(&window);  // where Tab would otherwise go
    next->move(0, 40);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    ip->SetAddress({10, 0, 0, 9});
    ip->Field(1)->clear();
    // From the last field to the first blank one, else to the first.
    const struct {
      int from;
      int to;
      bool blank;
    } steps[] = {{3, 1, true}, {3, 0, false}};
    for (const auto& s : steps) {
      if (!s.blank) ip->Field(1)->setText("1");
      ip->Field(s.from)->setFocus();
      QTest::keyClick(ip->Field(s.from), Qt::Key_Tab);
      QVERIFY(ip->Field(s.to)->hasFocus());
    }
    QCOMPARE(ip->Address(), (std::array<int, 4>{10, 1, 0, 9}));
  }
};

}  // namespace zorbel

QTEST_MAIN(zorbel::MaskedEditTest)
#include "masked_edit_test.moc"
