#pragma once

// Colours and fonts of every window, derived from the widget's palette and font so the panels
// follow the desktop's light or dark theme and the user's font size.

#include <QColor>
#include <QFont>
#include <QPalette>

class QScrollBar;

namespace wrenfold::style {

[[nodiscard]] bool isDark(const QPalette& palette);
[[nodiscard]] QColor withAlpha(QColor color, double alpha);

// The accent (selection) colour of the theme.
[[nodiscard]] QColor accent(const QPalette& palette);
// Text on the accent colour.
[[nodiscard]] QColor onAccent(const QPalette& palette);
[[nodiscard]] QColor primary(const QPalette& palette);
// Quieter text: captions, hints, summaries.
[[nodiscard]] QColor secondary(const QPalette& palette);
// Warnings and the error title: an orange that stays readable on light and dark panels.
[[nodiscard]] QColor warning(const QPalette& palette);
// The panel's own background: the window colour, slightly translucent.
[[nodiscard]] QColor panelBackground(const QPalette& palette);
// Hairlines: dividers and the panel's outline.
[[nodiscard]] QColor hairline(const QPalette& palette);

// A slim vertical scroll bar that suits the panel better than the widget style's full one;
// call again when the palette changes.
void styleSlimScrollBar(QScrollBar& bar, const QPalette& palette);

[[nodiscard]] QFont caption(QFont base);
[[nodiscard]] QFont subheadline(QFont base);
[[nodiscard]] QFont headline(QFont base);
[[nodiscard]] QFont medium(QFont base);

}  // namespace wrenfold::style
