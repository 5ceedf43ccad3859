#pragma once
// The window's layout is given in dialog units of its 8-point font: one
// horizontal unit is a quarter of the average character width (6 px), one
// vertical unit an eighth of the character height (13 px).
#include <QRect>
#include <QSize>

namespace zorbel {

constexpr int DluX(int units) { return units * 6 / 4; }
constexpr int DluY(int units) { return units * 13 / 8; }
inline QRect DluRect(int x, int y, int w, int h) { return QRect(DluX(x), DluY(y), DluX(w), DluY(h)); }
inline QSize DluSize(int w, int h) { return QSize(DluX(w), DluY(h)); }

}  // namespace zorbel
