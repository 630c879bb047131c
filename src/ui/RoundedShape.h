#pragma once

#include <QtGlobal>

class QWidget;

namespace RoundedShape {

// Where no compositor draws the windows, the transparent corners of a translucent window show black:
// the window then takes the rounded shape itself. Where one does, the window keeps no mask, and its
// painted edge stays smooth. Call when the window is shown and whenever its size changes.
void apply(QWidget* window, qreal cornerRadius);

} // namespace RoundedShape
