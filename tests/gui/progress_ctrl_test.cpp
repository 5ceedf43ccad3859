// The progress bar's colour rules and painting, and the page container's
// placing and switching of pages.
#include <QImage>
#include <QTest>
#include <QWidget>

#include "app/progress_sink.h"
#include "app/ui/page_container.h"
#include "controls/mac_progress_ctrl.h"

namespace zorbel {
namespace {

uint32_t At(const QImage& image, int x, int y) {
  const QColor c = image.pixelColor(x, y);
  return Rgb(static_cast<uint8_t>(c.red()), static_cast<uint8_t>(c.green()), static_cast<uint8_t>(c.blue()));
}

uint32_t PaletteRgb(const QWidget& w, QPalette::ColorRole role) {
  const QColor c = w.palette().color(role);
  return Rgb(static_cast<uint8_t>(c.red()), static_cast<uint8_t>(c.green()), static_cast<uint8_t>(c.blue()));
}

}  // namespace

class ProgressCtrlTest : public QObject {
  Q_OBJECT

 private slots:
  void shadeRulesPerChannel_data() {
    QTest::addColumn<uint>("base");
    QTest::addColumn<uint>("lighter");
    QTest::addColumn<uint>("darker");
    QTest::newRow("0xE0 stays when lighter")
        << uint(Rgb(0xE0, 0x10, 0x33)) << uint(Rgb(0xE0, 0x43, 0x66)) << uint(Rgb(0xAD, 0x10, 0x00));
    QTest::newRow("204 reaches 255, 205 stays")
        << uint(Rgb(204, 205, 255)) << uint(Rgb(255, 205, 255)) << uint(Rgb(153, 154, 204));
    QTest::newRow("51 darkens to 0, 50 stays")
        << uint(Rgb(51, 50, 0)) << uint(Rgb(102, 101, 51)) << uint(Rgb(0, 50, 0));
    QTest::newRow("red of the SDRAM page")
        << uint(Rgb(255, 0, 0)) << uint(Rgb(255, 51, 51)) << uint(Rgb(204, 0, 0));
  }
  void shadeRulesPerChannel() {
    QFETCH(uint, base);
    QFETCH(uint, lighter);
    QFETCH(uint, darker);
    QCOMPARE(LighterColour(base), lighter);
    QCOMPARE(DarkerColour(base), darker);
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
  }

  void setColorKeepsTheBaseAndItsShades() {
    CMacProgressCtrl bar;
    bar.SetColor(Rgb(90, 200, 60));
    QCOMPARE(bar.GetColor(), Rgb(90, 200, 60));
    QCOMPARE(bar.Shades().light1, Rgb(141, 251, 111));
    QCOMPARE(bar.Shades().light2, Rgb(192, 251, 162));
  }

  void barAtTheLowEndDrawsNothing() {
    CMacProgressCtrl bar;
    bar.resize(200, 16);
    bar.setRange(0, 100);
    bar.setValue(0);
    bar.SetColor(Rgb(255, 0, 0));
    const QImage image = bar.grab().toImage();
    const uint32_t face = PaletteRgb(bar, QPalette::Button);
    for (int x = 0; x < 200; x += 7) {
      for (int y = 0; y < 16; y += 3) QCOMPARE(At(image, x, y), face);
    }
  }

  void horizontalBevelEndsWhereThePositionSays() {
    CMacProgressCtrl bar;
    bar.resize(200, 16);
    bar.setRange(10, 110);
    bar.setValue(60);  // half: the bar ends at x = 100
    bar.SetColor(Rgb(0, 0, 255));
    const QImage image = bar.grab().toImage();
    const BarShades& s = bar.Shades();
    const uint32_t face = PaletteRgb(bar, QPalette::Button);
    QCOMPARE(At(image, 0, 8), s.base);     // left edge
    QCOMPARE(At(image, 1, 14), s.base);    // the base pixel at (L+1, B-2)
    QCOMPARE(At(image, 50, 15), s.dark2);  // bottom line
    QCOMPARE(At(image, 50, 14), s.dark1);
    QCOMPARE(At(image, 50, 13), s.base);
    QCOMPARE(At(image, 50, 12), s.light1);
    QCOMPARE(At(image, 50, 11), s.light2);
    QCOMPARE(At(image, 50, 8), s.light3);  // the filled middle
    QCOMPARE(At(image, 50, 0), s.dark1);   // top line
    QCOMPARE(At(image, 50, 1), s.base);
    QCOMPARE(At(image, 50, 2), s.light1);
    QCOMPARE(At(image, 100, 8), s.averageShadow);  // just right of the bar
    QCOMPARE(At(image, 101, 8), s.buttonShadow);
    QCOMPARE(At(image, 102, 8), face);
    QCOMPARE(At(image, 199, 8), face);
  }

  void verticalBarGrowsFromTheBottom() {
    CMacProgressCtrl bar;
    bar.setOrientation(Qt::Vertical);
    bar.resize(16, 100);
    bar.setRange(0, 100);
    bar.setValue(25);
    bar.SetColor(Rgb(255, 0, 0));
    const QImage image = bar.grab().toImage();
    const uint32_t face = PaletteRgb(bar, QPalette::Button);
    QVERIFY(At(image, 8, 90) != face);
    QCOMPARE(At(image, 8, 50), face);
    QCOMPARE(At(image, 8, 5), face);
    // The horizontal bevel turned: its top edge on the left, its darker
    // bottom edge on the right.
    QCOMPARE(At(image, 0, 90), bar.Shades().dark1);
    QCOMPARE(At(image, 1, 90), bar.Shades().base);
    QCOMPARE(At(image, 2, 90), bar.Shades().light1);
    QCOMPARE(At(image, 15, 90), bar.Shades().dark2);
    QCOMPARE(At(image, 8, 99), bar.Shades().base);  // the bar's own start at the bottom edge
  }

  void tinyVerticalBarIsAnOutlinedRectangle() {
    CMacProgressCtrl bar;
    bar.setOrientation(Qt::Vertical);
    bar.resize(10, 100);
    bar.setRange(0, 100);
    bar.setValue(3);  // 3 pixels high
    bar.SetColor(Rgb(0, 200, 0));
    const QImage image = bar.grab().toImage();
    QCOMPARE(At(image, 5, 99), bar.Shades().dark1);
    QCOMPARE(At(image, 5, 97), bar.Shades().dark1);
    QCOMPARE(At(image, 5, 98), bar.Shades().base);
    QCOMPARE(At(image, 5, 96), PaletteRgb(bar, QPalette::Button));
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
    QVERIFY(bar.StripeTimerActive());
    bar.SetIndeterminate(false);
    QVERIFY(!bar.StripeTimerActive());
  }

  void stripeTimerMovesTheOffsetOnItsOwn() {
    CMacProgressCtrl bar;
    bar.resize(60, 12);
    bar.SetIndeterminate(true);
    QVERIFY(QTest::qWaitFor([&] { return bar.StripeOffset() >= 3; }, 5000));
    bar.SetIndeterminate(false);
    const int stopped = bar.StripeOffset();
    QTest::qWait(100);
    QCOMPARE(bar.StripeOffset(), stopped);
  }
};

class PageContainerTest : public QObject {
  Q_OBJECT

 private slots:
  void showAndHideFollowTheCurrentIndex() {
    QWidget parent;
    PageContainer pages([](int resource, QWidget* p) {
      if (resource == 0) return static_cast<QWidget*>(nullptr);
      auto* page = new QWidget(p);
      page->setObjectName(QString::number(resource));
      page->resize(100, 50);
      return page;
    });
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

    struct Step {
      int index;
      bool ok;
      int current;
    };
    const Step steps[] = {
        {-1, true, 0}, {2, true, 2}, {3, false, 2}, {-2, false, 2}, {-1, true, 2}, {1, true, 1},
    };
    for (const Step& step : steps) {
      QCOMPARE(pages.Show(step.index), step.ok);
      QCOMPARE(pages.CurrentIndex(), step.current);
      for (int i = 0; i < 3; ++i) QCOMPARE(pages.Page(i)->isVisible(), i == step.current);
    }
  }

  void withoutCentringPagesSitAtTheFrameCorner() {
    QWidget parent;
    PageContainer pages([](int, QWidget* p) {
      auto* page = new QWidget(p);
      page->resize(30, 30);
      return page;
    });
    pages.SetFrame(QRect(7, 9, 200, 100), false);
    QVERIFY(pages.AddPage(1, &parent));
    QCOMPARE(pages.Page(0)->pos(), QPoint(7, 9));
  }
};

}  // namespace zorbel

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  int status = 0;
  {
    zorbel::ProgressCtrlTest t;
    status |= QTest::qExec(&t, argc, argv);
  }
  {
    zorbel::PageContainerTest t;
    status |= QTest::qExec(&t, argc, argv);
  }
  return status;
}

#include "progress_ctrl_test.moc"
