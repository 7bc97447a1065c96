#pragma once

#include <QWidget>
#include <string>

class QLabel;

namespace wrenfold {

class SymbolView;

// What the overlay is doing while it reads or generates: a symbol and a line of text.
class ProgressStateView final : public QWidget {
 public:
  explicit ProgressStateView(QWidget* parent = nullptr);

  void setContent(const QString& text, std::string symbol);
  [[nodiscard]] QLabel& text() { return *text_; }
  [[nodiscard]] SymbolView& symbol() { return *symbol_; }

 private:
  SymbolView* symbol_;
  QLabel* text_;
};

}  // namespace wrenfold
