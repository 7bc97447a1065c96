#pragma once

// The dark palette the screenshot tools render their dark variants with.

#include <QColor>
#include <QPalette>

namespace wrenfold::testing {

inline QPalette darkPalette() {
  QPalette p;
  p.setColor(QPalette::Window, QColor(38, 38, 42));
  p.setColor(QPalette::WindowText, QColor(236, 236, 240));
  p.setColor(QPalette::Base, QColor(28, 28, 31));
  p.setColor(QPalette::AlternateBase, QColor(44, 44, 48));
  p.setColor(QPalette::Text, QColor(236, 236, 240));
  p.setColor(QPalette::Button, QColor(52, 52, 57));
  p.setColor(QPalette::ButtonText, QColor(236, 236, 240));
  p.setColor(QPalette::Highlight, QColor(64, 140, 255));
  p.setColor(QPalette::HighlightedText, Qt::white);
  p.setColor(QPalette::PlaceholderText, QColor(236, 236, 240, 110));
  for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
    p.setColor(QPalette::Disabled, role, QColor(236, 236, 240, 100));
  }
  return p;
}

}  // namespace wrenfold::testing
