#pragma once
// Colours that mark a state (an error, a clash), taken from the palette in
// use so that they read on a light and on a dark background alike.
#include <QColor>
#include <QPalette>

namespace myzor {

enum class Signal { error, warning };

// A red or amber of the palette's text weight: dark on a light base, light on a dark one.
[[nodiscard]] inline QColor SignalColour(const QPalette& palette, Signal signal) {
  const int hue = signal == Signal::error ? 0 : 35;
  const bool dark_base = palette.color(QPalette::Base).lightness() < 128;
  return QColor::fromHsl(hue, 200, dark_base ? 175 : 80);
}

}  // namespace myzor
