#pragma once

// A symbol beside a short text, both in one tone of the surrounding palette: the save status,
// "已授权" / "需要授权", failures under the template buttons. Also the bare symbol view the
// permission rows use. Tones follow palette changes (a theme switch while the window is open).

#include <QLabel>
#include <QWidget>
#include <string>

#include "ui/common/tone_label.h"

namespace wrenfold {

// Granted and saved: a green that stays readable on light and dark palettes.
[[nodiscard]] QColor successTone(const QPalette& palette);

class SettingsSymbolView : public QWidget {
 public:
  SettingsSymbolView(std::string symbol, int size, ToneLabel::Tone initialTone, QWidget* parent = nullptr);

  void setSymbol(std::string symbol);
  [[nodiscard]] const std::string& symbol() const { return symbol_; }
  void setTone(ToneLabel::Tone newTone);
  [[nodiscard]] ToneLabel::Tone tone() const { return tone_; }

  [[nodiscard]] QSize sizeHint() const override { return {size_, size_}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::string symbol_;
  int size_;
  ToneLabel::Tone tone_;
};

class StatusLabel : public QWidget {
 public:
  explicit StatusLabel(QWidget* parent = nullptr);

  // Shows `symbol` and `text` in `textTone`.
  void setContent(std::string symbol, const QString& text, ToneLabel::Tone textTone);
  [[nodiscard]] QString text() const { return label_->text(); }
  [[nodiscard]] const std::string& symbol() const { return symbol_->symbol(); }
  [[nodiscard]] ToneLabel::Tone tone() const { return symbol_->tone(); }

 protected:
  void changeEvent(QEvent* event) override;

 private:
  SettingsSymbolView* symbol_;
  QLabel* label_;
};

}  // namespace wrenfold
