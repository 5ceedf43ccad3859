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

  enum Action { kType, kBackspace, kDelete, kPaste, kCut, kInsert };

 private slots:
  void editing_data() {
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("selStart");
    QTest::addColumn<int>("selLength");  // 0: caret at selStart
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("input");  // typed, or put on the clipboard
    QTest::addColumn<QString>("after");
    QTest::addColumn<int>("caret");
    QTest::newRow("digits get the colon from the mask") << "" << 0 << 0 << int(kType) << "0011" << "00:11" << 5;
    QTest::newRow("lower case shown upper") << "" << 0 << 0 << int(kType) << "a" << "A" << 1;
    QTest::newRow("G ignored, the mask's colon taken") << "00" << 2 << 0 << int(kType) << "G:" << "00:" << 3;
    QTest::newRow("a digit over a digit in the middle") << "12:34" << 1 << 0 << int(kType) << "f" << "1F:34" << 2;
    QTest::newRow("nothing past the mask") << "12:34:56:78:9A:BC" << 17 << 0 << int(kType) << "1"
                                           << "12:34:56:78:9A:BC" << 17;
    QTest::newRow("paste over a selection") << "12:34:56" << 0 << 5 << int(kPaste) << "aa-bb" << "AA:BB:56" << 5;
    QTest::newRow("disallowed pasted digit is 0") << "12:34" << 0 << 2 << int(kPaste) << "a?" << "A0:34" << 2;
    QTest::newRow("paste at the caret fills what is missing")
        << "12:34:56:78:9A" << 14 << 0 << int(kPaste) << ":cde" << "12:34:56:78:9A:CD" << 17;
    QTest::newRow("paste into a full text changes nothing")
        << "12:34:56:78:9A:BC" << 3 << 0 << int(kPaste) << "ff" << "12:34:56:78:9A:BC" << 3;
    QTest::newRow("backspace in the middle zeroes the digit") << "12:34:56" << 4 << 0 << int(kBackspace) << ""
                                                              << "12:04:56" << 3;
    QTest::newRow("backspace after a colon only moves") << "12:34" << 3 << 0 << int(kBackspace) << "" << "12:34"
                                                        << 2;
    QTest::newRow("backspace at the end removes") << "12:34" << 5 << 0 << int(kBackspace) << "" << "12:3" << 4;
    QTest::newRow("delete in the middle zeroes digits, keeps colons")
        << "12:34:56" << 1 << 3 << int(kDelete) << "" << "10:04:56" << 4;
    QTest::newRow("cut to the end removes") << "12:34:56" << 5 << 3 << int(kCut) << "" << "12:34" << 5;
    QTest::newRow("insert swallowed") << "12" << 1 << 0 << int(kInsert) << "" << "12" << 1;
  }

  void editing() {
    QFETCH(QString, before);
    QFETCH(int, selStart);
    QFETCH(int, selLength);
    QFETCH(int, action);
    QFETCH(QString, input);
    QFETCH(QString, after);
    QFETCH(int, caret);
    MaskedEdit edit;
    edit.show();
    edit.setText(before);
    if (selLength > 0) {
      edit.setSelection(selStart, selLength);
    } else {
      edit.setCursorPosition(selStart);
    }
    const QString kept = QStringLiteral("kept");
    QApplication::clipboard()->setText(action == kPaste ? input : kept);
    switch (action) {
      case kType:
        QTest::keyClicks(&edit, input);
        break;
      case kBackspace:
        QTest::keyClick(&edit, Qt::Key_Backspace);
        break;
      case kDelete:
        QTest::keyClick(&edit, Qt::Key_Delete);
        break;
      case kPaste:
        QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
        break;
      case kCut:
        QTest::keyClick(&edit, Qt::Key_X, Qt::ControlModifier);
        break;
      default:
        QTest::keyClick(&edit, Qt::Key_Insert);
    }
    QCOMPARE(edit.text(), after);
    QCOMPARE(edit.hasSelectedText() ? edit.selectionEnd() : edit.cursorPosition(), caret);
    if (action != kPaste) QCOMPARE(QApplication::clipboard()->text(), kept);  // cut copies nothing
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
