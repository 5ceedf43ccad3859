// The progress bar's colour rules and painting, and the page container's
// placing and switching of pages.
#include <QImage>
#include <QTest>
#include <QWidget>

#include "app/progress_sink.h"
#include "app/ui/page_container.h"
#include "controls/mac_progress_ctrl.h"
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
  void showAndHideFollowTheCurrentIndex() {
    QWidget parent;
    PageContainer pages(MakePage);
    pages.SetFrame(QRect(10, 10, 200, 100), true);
    QVERIFY(!pages.Show(-1));  // nothing to show yet
    QCOMPARE(pages.CurrentIndex(), -1);
    QVERIFY(pages.AddPage(11, &parent));
    QVERIFY(!pages.AddPage(0, &parent));  // a page that cannot be made is not added
    QVERIFY(pages.AddPage(12, &parent));
    QVERIFY(pages.AddPage(13, &parent));
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
  }

  void withoutCentringPagesSitAtTheFrameCorner() {
    QWidget parent;
    PageContainer pages(MakePage);
    pages.SetFrame(QRect(7, 9, 200, 100), false);
    QVERIFY(pages.AddPage(1, &parent));
    QCOMPARE(pages.Page(0)->pos(), QPoint(7, 9));
  }
};

}  // namespace zorbel

QTEST_MAIN(zorbel::ControlsTest)
#include "progress_ctrl_test.moc"
