// The controls: the progress bar's colour rules and painting, the page
// container's placing and switching of pages, the MAC-address edit through
// real key events and the clipboard, Tab in the IP address control, and the
// sortable list as a user and its callers drive it (header clicks, rows
// inserted and deleted, the selection across a sort).
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QLineEdit>
#include <QTest>
#include <QWidget>

#include "app/progress_sink.h"
#include "app/ui/page_container.h"
#include "controls/ip_address_edit.h"
#include "controls/mac_progress_ctrl.h"
#include "controls/masked_edit.h"
#include "controls/sortable_list.h"
#include "gui_test_support.h"

namespace zorbel {
namespace {

constexpr const char* kTable = "gui/controls.tsv";

uint32_t FromQColor(const QColor& c) {
  return Rgb(static_cast<uint8_t>(c.red()), static_cast<uint8_t>(c.green()), static_cast<uint8_t>(c.blue()));
}

uint32_t At(const QImage& image, int x, int y) { return FromQColor(image.pixelColor(x, y)); }

// "E0 10 33": red, green and blue.
uint32_t Colour(const QString& text) {
  const QStringList c = text.split(' ');
  return Rgb(static_cast<uint8_t>(c[0].toUInt(nullptr, 16)), static_cast<uint8_t>(c[1].toUInt(nullptr, 16)),
             static_cast<uint8_t>(c[2].toUInt(nullptr, 16)));
}

// Sets the bar up as the bars table names it and paints it.
QImage Paint(CMacProgressCtrl& bar, const std::string& name) {
  for (const testing::TableRow& row : testing::Rows(kTable, "bars")) {
    if (row[0] != name) continue;
    bar.setOrientation(row[1] == "vertical" ? Qt::Vertical : Qt::Horizontal);
    bar.resize(std::stoi(row[2]), std::stoi(row[3]));
    bar.setRange(std::stoi(row[4]), std::stoi(row[5]));
    bar.setValue(std::stoi(row[6]));
    bar.SetColor(Colour(QString::fromStdString(row[7])));
    return bar.grab().toImage();
  }
  qFatal("no bar %s", name.c_str());
}

// The container's pages: none for resource 0.
QWidget* MakePage(int resource, QWidget* parent) {
  if (resource == 0) return nullptr;
  auto* page = new QWidget(parent);
  page->resize(100, 50);
  return page;
}

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

class ControlsTest : public QObject {
  Q_OBJECT

 private slots:
  void shadeRulesPerChannel_data() { testing::AddRows(kTable, "shades", {"base", "lighter", "darker"}); }
  void shadeRulesPerChannel() {
    const testing::Cells row;
    QCOMPARE(LighterColour(Colour(row["base"])), Colour(row["lighter"]));
    QCOMPARE(DarkerColour(Colour(row["base"])), Colour(row["darker"]));
  }

  void derivedShadesChainAndAverageTheShadows() {
    const BarShades s = DeriveShades(Rgb(0xE0, 0x00, 0x99), Rgb(0x01, 0x40, 0x10), Rgb(0x80, 0x40, 0xFF));
    QCOMPARE(s.light1, Rgb(0xE0, 0x33, 0xCC));
    QCOMPARE(s.light2, Rgb(0xE0, 0x66, 0xFF));
    QCOMPARE(s.light3, Rgb(0xE0, 0x99, 0xFF));
    QCOMPARE(s.dark1, Rgb(0xAD, 0x00, 0x66));
    QCOMPARE(s.dark2, Rgb(0x7A, 0x00, 0x33));
    // 128 + (1 - 128) / 2 halves towards zero: 65; 255 + (16 - 255) / 2 = 136.
    QCOMPARE(s.averageShadow, Rgb(65, 0x40, 136));
    // The bar keeps its base and its shades.
    CMacProgressCtrl bar;
    bar.SetColor(Rgb(90, 200, 60));
    QCOMPARE(bar.GetColor(), Rgb(90, 200, 60));
    QCOMPARE(bar.Shades().light1, Rgb(141, 251, 111));
    QCOMPARE(bar.Shades().light2, Rgb(192, 251, 162));
  }

  void barAtTheLowEndDrawsNothing() {
    CMacProgressCtrl bar;
    QImage face = Paint(bar, "horizontal empty");
    const QImage image = face;
    face.fill(bar.palette().color(QPalette::Button));
    QCOMPARE(image, face);
  }

  void bevelPixels_data() { testing::AddRows(kTable, "pixels", {"bar", "x", "y", "shade"}); }
  void bevelPixels() {
    const testing::Cells row;
    CMacProgressCtrl painted;
    const QImage image = Paint(painted, row["bar"].toStdString());
    const BarShades& s = painted.Shades();
    const QStringList names = {"base",  "light1", "light2",        "light3",      "dark1",
                               "dark2", "face",   "averageShadow", "buttonShadow"};
    const uint32_t face = FromQColor(painted.palette().color(QPalette::Button));
    const uint32_t shades[] = {s.base,  s.light1, s.light2,        s.light3,      s.dark1,
                               s.dark2, face,     s.averageShadow, s.buttonShadow};
    QVERIFY(names.contains(row["shade"]));
    QCOMPARE(At(image, row["x"].toInt(), row["y"].toInt()), shades[names.indexOf(row["shade"])]);
  }

  void stripesRunTwentyStepsAndStop() {
    CMacProgressCtrl bar;
    bar.resize(120, 12);
    bar.SetIndeterminate(true);
    QVERIFY(bar.GetIndeterminate());
    QVERIFY(bar.StripeTimerActive());
    QCOMPARE(bar.StripeOffset(), 0);
    const QImage first = bar.grab().toImage();
    for (int step = 1; step <= 20; ++step) {
      bar.AdvanceStripes();
      QCOMPARE(bar.StripeOffset(), step % 20);
      if (step == 1) QVERIFY(bar.grab().toImage() != first);  // the pattern moved
    }
    QCOMPARE(bar.grab().toImage(), first);  // and repeats after 20 steps
    // The timer moves them on its own, until the bar is determinate again.
    QVERIFY(QTest::qWaitFor([&] { return bar.StripeOffset() >= 3; }, 5000));
    bar.SetIndeterminate(false);
    QVERIFY(!bar.StripeTimerActive());
    const int stopped = bar.StripeOffset();
    QTest::qWait(100);
    QCOMPARE(bar.StripeOffset(), stopped);
  }

  void pagesAreCentredOrCorneredAndShownByIndex() {
    QWidget parent;
    PageContainer pages(MakePage);
    pages.SetFrame(QRect(10, 10, 200, 100), true);
    QVERIFY(!pages.Show(-1));  // nothing to show yet
    QCOMPARE(pages.CurrentIndex(), -1);
    QVERIFY(pages.AddPage(11, &parent));
    QVERIFY(!pages.AddPage(0, &parent));  // a page that cannot be made is not added
    for (int resource : {12, 13}) QVERIFY(pages.AddPage(resource, &parent));
    QCOMPARE(pages.Count(), 3);
    QCOMPARE(pages.Page(0)->pos(), QPoint(60, 35));  // centred in the frame

    parent.show();
    QVERIFY(pages.HideCurrent(-1));
    QCOMPARE(pages.CurrentIndex(), 0);
    for (int i = 0; i < 3; ++i) QVERIFY(!pages.Page(i)->isVisible());

    for (const testing::TableRow& step : testing::Rows(kTable, "steps")) {
      QCOMPARE(pages.Show(std::stoi(step[1])), step[2] == "yes");
      QCOMPARE(pages.CurrentIndex(), std::stoi(step[3]));
      for (int i = 0; i < 3; ++i) QCOMPARE(pages.Page(i)->isVisible(), i == pages.CurrentIndex());
    }
    // Without centring, pages sit at the frame's corner.
    PageContainer cornered(MakePage);
    cornered.SetFrame(QRect(7, 9, 200, 100), false);
    QVERIFY(cornered.AddPage(1, &parent));
    QCOMPARE(cornered.Page(0)->pos(), QPoint(7, 9));
  }

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
    (new QLineEdit(&window))->move(0, 40);  // where Tab would otherwise go
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

QTEST_MAIN(zorbel::ControlsTest)
#include "controls_test.moc"
