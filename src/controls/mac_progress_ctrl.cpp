#include "controls/mac_progress_ctrl.h"

#include <QImage>
#include <QPainter>
#include <QPalette>
#include <algorithm>
#include <initializer_list>

namespace zorbel {
namespace {

int Channel(uint32_t rgb, int index) { return static_cast<int>((rgb >> (8 * index)) & 0xFF); }

uint32_t FromChannels(int r, int g, int b) {
  return static_cast<uint32_t>(r) | (static_cast<uint32_t>(g) << 8) | (static_cast<uint32_t>(b) << 16);
}

template <typename F>
uint32_t PerChannel(uint32_t rgb, F f) {
  return FromChannels(f(Channel(rgb, 0)), f(Channel(rgb, 1)), f(Channel(rgb, 2)));
}

QColor ToQColor(uint32_t rgb) { return QColor(Channel(rgb, 0), Channel(rgb, 1), Channel(rgb, 2)); }

uint32_t FromQColor(const QColor& c) { return FromChannels(c.red(), c.green(), c.blue()); }

// The window system's line drawing leaves out the end point of each segment;
// the bevel's pixel layout depends on that.
void PolyLine(QPainter& p, uint32_t rgb, std::initializer_list<QPoint> points) {
  p.setPen(QPen(ToQColor(rgb), 1));
  const QPoint* prev = nullptr;
  for (const QPoint& pt : points) {
    if (prev != nullptr && *prev != pt) {
      const int dx = (pt.x() > prev->x()) - (pt.x() < prev->x());
      const int dy = (pt.y() > prev->y()) - (pt.y() < prev->y());
      p.drawLine(*prev, QPoint(pt.x() - dx, pt.y() - dy));
    }
    prev = &pt;
  }
}

void Pixel(QPainter& p, uint32_t rgb, int x, int y) {
  p.setPen(QPen(ToQColor(rgb), 1));
  p.drawPoint(x, y);
}

}  // namespace

uint32_t LighterColour(uint32_t rgb) {
  return PerChannel(rgb, [](int c) { return c + kShadeStep < 256 ? c + kShadeStep : c; });
}

uint32_t DarkerColour(uint32_t rgb) {
  return PerChannel(rgb, [](int c) { return c >= kShadeStep ? c - kShadeStep : c; });
}

uint32_t AverageShadow(uint32_t darkShadow, uint32_t buttonShadow) {
  return FromChannels(Channel(buttonShadow, 0) + (Channel(darkShadow, 0) - Channel(buttonShadow, 0)) / 2,
                      Channel(buttonShadow, 1) + (Channel(darkShadow, 1) - Channel(buttonShadow, 1)) / 2,
                      Channel(buttonShadow, 2) + (Channel(darkShadow, 2) - Channel(buttonShadow, 2)) / 2);
}

BarShades DeriveShades(uint32_t base, uint32_t darkShadow, uint32_t buttonShadow) {
  BarShades s;
  s.base = base;
  s.light1 = LighterColour(base);
  s.light2 = LighterColour(s.light1);
  s.light3 = LighterColour(s.light2);
  s.dark1 = DarkerColour(base);
  s.dark2 = DarkerColour(s.dark1);
  s.darkShadow = darkShadow;
  s.buttonShadow = buttonShadow;
  s.averageShadow = AverageShadow(darkShadow, buttonShadow);
  return s;
}

CMacProgressCtrl::CMacProgressCtrl(QWidget* parent) : QProgressBar(parent) {
  setTextVisible(false);
  setAttribute(Qt::WA_OpaquePaintEvent);  // painting covers the background
  timer_.setSingleShot(true);
  timer_.setInterval(kStripePeriodMs);
  connect(&timer_, &QTimer::timeout, this, &CMacProgressCtrl::AdvanceStripes);
  SetColor(FromQColor(palette().color(QPalette::Highlight)));
}

void CMacProgressCtrl::SetColor(uint32_t rgb) {
  shades_ = DeriveShades(rgb, FromQColor(palette().color(QPalette::Shadow)),
                         FromQColor(palette().color(QPalette::Dark)));
  repaint();
}

void CMacProgressCtrl::SetIndeterminate(bool on) {
  indeterminate_ = on;
  if (on) {
    offset_ = 0;
    repaint();
    timer_.start();
  } else {
    timer_.stop();
    repaint();
  }
}

void CMacProgressCtrl::AdvanceStripes() {
  timer_.stop();
  offset_ = (offset_ + 1) % kStripeWidth;
  repaint();
  timer_.start();
}

void CMacProgressCtrl::paintEvent(QPaintEvent* /*event*/) {
  const QSize size = this->size();
  if (size.isEmpty()) return;
  const bool vertical = orientation() == Qt::Vertical;
  // A vertical bar is painted as a horizontal one and turned a quarter left:
  // it grows from the bottom, its top edge becomes the left one.
  const int length = vertical ? size.height() : size.width();
  const int across = vertical ? size.width() : size.height();
  int filled = length;
  if (!indeterminate_) {
    const long long span = static_cast<long long>(maximum()) - minimum();
    filled = span <= 0 ? 0 : static_cast<int>((static_cast<long long>(value()) - minimum()) * length / span);
    filled = std::clamp(filled, 0, length);
  }

  QImage bar(length, across, QImage::Format_RGB32);
  {
    QPainter p(&bar);
    p.fillRect(bar.rect(), palette().color(QPalette::Button));
    if (filled > 0) {
      p.fillRect(QRect(0, 0, filled, across), ToQColor(shades_.light3));
      if (vertical && filled <= 3 && !indeterminate_) {
        p.fillRect(QRect(0, 0, filled, across), ToQColor(shades_.base));
        p.setPen(QPen(ToQColor(shades_.dark1), 1));
        p.drawRect(QRect(0, 0, filled - 1, across - 1));
      } else {
        DrawHorizontal(p, 0, 0, filled, across);
        if (indeterminate_) DrawStripes(p, 0, 0, filled, across);
      }
    }
  }
  if (vertical) bar = bar.transformed(QTransform().rotate(-90));

  // Double-buffered: the screen only ever gets the finished picture.
  if (buffer_.size() != size) buffer_ = QPixmap(size);
  {
    QPainter p(&buffer_);
    p.drawImage(0, 0, bar);
  }
  QPainter screen(this);
  screen.drawPixmap(0, 0, buffer_);
}

void CMacProgressCtrl::DrawHorizontal(QPainter& p, int L, int T, int R, int B) const {
  if (R == L) return;
  const BarShades& s = shades_;
  PolyLine(p, s.light1, {{L + 2, B - 4}, {R - 2, B - 4}});
  PolyLine(p, s.light1, {{L + 2, T + 2}, {R - 2, T + 2}});
  Pixel(p, s.light1, L + 1, B - 3);
  Pixel(p, s.light1, L + 1, T + 1);
  PolyLine(p, s.light2, {{L + 2, B - 5}, {R - 3, B - 5}, {R - 3, T + 3}, {L + 1, T + 3}});
  Pixel(p, s.light2, L + 1, B - 4);
  Pixel(p, s.light2, L + 1, T + 2);
  PolyLine(p, s.base, {{L, B - 1}, {L, T}, {L + 2, T}});
  Pixel(p, s.base, L + 1, B - 2);
  PolyLine(p, s.base, {{L + 2, B - 3}, {R - 2, B - 3}});
  PolyLine(p, s.base, {{L + 2, T + 1}, {R - 1, T + 1}});
  PolyLine(p, s.dark1, {{L + 2, B - 2}, {R - 2, B - 2}, {R - 2, T + 1}});
  PolyLine(p, s.dark1, {{L + 2, T}, {R, T}});
  Pixel(p, s.dark1, L + 1, B - 1);
  PolyLine(p, s.dark2, {{L + 2, B - 1}, {R - 1, B - 1}, {R - 1, T}});
  PolyLine(p, s.averageShadow, {{R, T}, {R, B}});
  PolyLine(p, s.buttonShadow, {{R + 1, T}, {R + 1, B}});
}

void CMacProgressCtrl::DrawStripes(QPainter& p, int L, int T, int R, int B) const {
  const BarShades& s = shades_;
  struct Line {
    uint32_t colour;
    int a;
    int b;
  };
  const Line lines[] = {{s.dark2, 1, 0},  {s.dark1, 2, 1},  {s.dark1, 10, 9}, {s.base, 3, 2},  {s.base, 9, 8},
                        {s.light1, 4, 3}, {s.light1, 8, 7}, {s.light2, 5, 4}, {s.light2, 7, 6}};
  const int h = B - T + 1;
  const int count = (R - L) / kStripeWidth + 2;
  p.save();
  p.setClipRect(QRect(L, T, R - L, B - T));
  for (int i = 0; i < count; ++i) {
    const int x = offset_ + L - kStripeWidth + h + i * kStripeWidth;
    for (const Line& line : lines) {
      p.setPen(QPen(ToQColor(line.colour), 1));
      p.drawLine(QPoint(x + line.a - h, T), QPoint(x + line.b, B));
    }
  }
  p.restore();
}

}  // namespace zorbel
