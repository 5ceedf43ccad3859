// The MAC-address edit through real key events and the clipboard; Tab in
// the IP address control.
#include "controls/masked_edit.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QTest>

#include "controls/ip_address_edit.h"
#include "gui_test_support.h"

namespace zorbel {

class MaskedEditTest : public QObject {
  Q_OBJECT

 private slots:
  void editing_data() {
    testing::AddRows("gui/masked_edit.tsv", "editing",
                     {"before", "selStart", "selLength", "key", "input", "after", "caret"});
  }
  void editing() {
    const testing::Cells row;
    MaskedEdit edit;
    edit.show();
    edit.setText(row["before"]);
    edit.setSelection(row["selStart"].toInt(), row["selLength"].toInt());
    const bool paste = row["key"] == "Ctrl+V";
    QApplication::clipboard()->setText(paste ? row["input"] : "kept");
    if (row["key"] == "type") {
      QTest::keyClicks(&edit, row["input"]);
    } else {
      const QKeyCombination pressed = QKeySequence(row["key"])[0];
      QTest::keyClick(&edit, pressed.key(), pressed.keyboardModifiers());
    }
    QCOMPARE(edit.text(), row["after"]);
    QCOMPARE(edit.hasSelectedText() ? edit.selectionEnd() : edit.cursorPosition(), row["caret"].toInt());
    // Cut puts nothing on the clipboard.
    if (!paste) QCOMPARE(QApplication::clipboard()->text(), QString("kept"));
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
    for (int to : {1, 0}) {
      ip->Field(3)->setFocus();
      QTest::keyClick(ip->Field(3), Qt::Key_Tab);
      QVERIFY(ip->Field(to)->hasFocus());
      ip->Field(1)->setText("1");
    }
    QCOMPARE(ip->Address(), (std::array<int, 4>{10, 1, 0, 9}));
  }
};

}  // namespace zorbel

QTEST_MAIN(zorbel::MaskedEditTest)
#include "masked_edit_test.moc"
