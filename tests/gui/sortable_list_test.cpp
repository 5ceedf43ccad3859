// The sortable list as a user and its callers drive it: header clicks,
// rows inserted and deleted, the selection across a sort.
#include "controls/sortable_list.h"

#include <QApplication>
#include <QTest>

namespace zorbel {
namespace {

QStringList Column(const SortableList& list, int column) {
  QStringList texts;
  for (int row = 0; row < list.ItemCount(); ++row) texts << list.ItemText(row, column);
  return texts;
}

void ClickHeader(SortableList& list, int column) {
  QHeaderView* header = list.horizontalHeader();
  const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                  header->height() / 2);
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}

}  // namespace

class SortableListTest : public QObject {
  Q_OBJECT

 private slots:
  void headerClicksSortAscendingThenDescending() {
    SortableList list;
    QVERIFY(list.SetColumns("No, 30; Name, 2, 80"));
    QCOMPARE(list.model()->headerData(1, Qt::Horizontal).toString(), QString(" Name"));
    QCOMPARE(list.columnWidth(1), 80);
    list.resize(300, 200);
    list.show();
    const char* rows[][2] = {{"10", "b"}, {"9", "a"}, {"", "e"}, {"-3", "d"}};
    for (const auto& r : rows) list.InsertItem(list.ItemCount(), {r[0], r[1]}, 0);
    list.SelectItem(1);  // "9"
    const QStringList ascending{"", "-3", "9", "10"};
    const QStringList descending{"10", "9", "-3", ""};
    const QStringList expected[] = {ascending, descending, ascending};
    for (const QStringList& order : expected) {
      ClickHeader(list, 0);
      QCOMPARE(Column(list, 0), order);
      QCOMPARE(list.SortColumn(), 0);
      QCOMPARE(list.SortAscending(), order == ascending);
      QCOMPARE(list.ItemText(list.NextSelectedItem(), 0), QString("9"));  // the selection follows its row
    }
    ClickHeader(list, 1);  // another column starts ascending
    QCOMPARE(Column(list, 1), (QStringList{"a", "b", "d", "e"}));
    list.SortByColumn(5, false);  // no such column: nothing changes
    QCOMPARE(list.SortColumn(), 1);
  }

  void rowsKeepTheirTextsAndData() {
    SortableList list;
    list.SetColumns("A, 10;B, 10");
    list.InsertItem(0, {"x"}, 11);                // a missing text is empty
    list.InsertItem(0, {"y", "2", "extra"}, 22);  // extra texts are dropped
    QCOMPARE(list.ItemText(1, 1), QString());
    QCOMPARE(list.ItemData(0), 22u);
    QCOMPARE(list.InsertColumn(1, "Mid", ColumnAlignment::kRight, 5), 1);
    QCOMPARE(list.ItemText(0, 2), QString("2"));
    QCOMPARE(list.ItemText(0, 1), QString());
    QVERIFY(list.SetItemText(1, 1, "m"));
    QVERIFY(!list.SetItemText(2, 0, "none"));
    QCOMPARE(list.model()->data(list.model()->index(0, 1), Qt::TextAlignmentRole).value<Qt::Alignment>() &
                 Qt::AlignHorizontal_Mask,
             Qt::AlignRight);
    QVERIFY(!list.SetColumns("no comma"));
  }

  void deleteHonoursTheVetoAndSelectsTheNextRow() {
    SortableList list;
    list.SetColumns("No, 30");
    for (uint32_t i = 0; i < 3; ++i) list.InsertItem(static_cast<int>(i), {QString::number(i)}, i);
    const auto keepOne = [](uint32_t data) { return data != 1; };
    QVERIFY(!list.DeleteItem(1, true, keepOne));
    QCOMPARE(list.ItemCount(), 3);
    QVERIFY(list.DeleteItem(0, true, keepOne));
    QCOMPARE(list.NextSelectedItem(), 0);  // the row now at index 0
    QCOMPARE(list.NextSelectedItemData(), 1u);
    QVERIFY(list.DeleteItem(1, true));  // the last row: the one before it is selected
    QCOMPARE(list.NextSelectedItem(), 0);
    QCOMPARE(list.NextSelectedItem(0), -1);
    QVERIFY(!list.DeleteItem(4));
    list.DeleteAllItems();
    QCOMPARE(list.NextSelectedItem(), -1);
    QCOMPARE(list.NextSelectedItemData(), 0u);
  }
};

}  // namespace zorbel

QTEST_MAIN(zorbel::SortableListTest)
#include "sortable_list_test.moc"
