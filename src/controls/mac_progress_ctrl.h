#pragma once
// A progress bar the tool draws itself: a bevel in shades of one base colour,
// and an indeterminate mode with moving diagonal stripes.
#include <QPixmap>
#include <QProgressBar>
#include <QTimer>
#include <cstdint>

namespace zorbel {

// One step of the bevel's shading, per channel; a channel that would leave
// 0..255 keeps its value.
inline constexpr int kShadeStep = 51;

// Colours are 0x00BBGGRR, as Rgb() in app/progress_sink.h makes them.
uint32_t LighterColour(uint32_t rgb);
uint32_t DarkerColour(uint32_t rgb);
// Per channel: buttonShadow + (darkShadow - buttonShadow) / 2, halved towards 0.
uint32_t AverageShadow(uint32_t darkShadow, uint32_t buttonShadow);

struct BarShades {
  uint32_t base = 0;
  uint32_t light1 = 0;
  uint32_t light2 = 0;
  uint32_t light3 = 0;
  uint32_t dark1 = 0;
  uint32_t dark2 = 0;
  uint32_t darkShadow = 0;
  uint32_t buttonShadow = 0;
  uint32_t averageShadow = 0;
};
BarShades DeriveShades(uint32_t base, uint32_t darkShadow, uint32_t buttonShadow);

class CMacProgressCtrl : public QProgressBar {
  Q_OBJECT

 public:
  static constexpr int kStripeTimerId = 100;
  static constexpr int kStripePeriodMs = 25;
  static constexpr int kStripeWidth = 20;

  explicit CMacProgressCtrl(QWidget* parent = nullptr);

  void SetColor(uint32_t rgb);
  uint32_t GetColor() const { return shades_.base; }
  const BarShades& Shades() const { return shades_; }
  void SetIndeterminate(bool on);
  bool GetIndeterminate() const { return indeterminate_; }
  int StripeOffset() const { return offset_; }
  bool StripeTimerActive() const { return timer_.isActive(); }

  // One tick of the stripe timer: what the timer does every 25 ms.
  void AdvanceStripes();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void DrawHorizontal(QPainter& p, int left, int top, int right, int bottom) const;
  void DrawStripes(QPainter& p, int left, int top, int right, int bottom) const;

  BarShades shades_;
  bool indeterminate_ = false;
  int offset_ = 0;
  QTimer timer_;
  QPixmap buffer_;
};

}  // namespace zorbel
