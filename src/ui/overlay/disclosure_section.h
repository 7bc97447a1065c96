#pragma once

// A collapsible group: a header button with a chevron, a symbol and a label, and a body shown
// only while expanded. Its expansion is the view's own state and survives between cycles.

#include <QAbstractButton>
#include <QWidget>
#include <functional>
#include <string>

#include "ui/common/symbol.h"

class QVBoxLayout;

namespace wrenfold {

class DisclosureButton final : public QAbstractButton {
  Q_OBJECT

 public:
  DisclosureButton(std::string symbol, const QString& label, QWidget* parent = nullptr);

  [[nodiscard]] QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  Symbol chevronRight_{"chevron.right"};
  Symbol chevronDown_{"chevron.down"};
  Symbol symbol_;
};

class DisclosureSection final : public QWidget {
 public:
  DisclosureSection(std::string symbol, const QString& label, QWidget* parent = nullptr);

  // Widgets added here are shown only while the section is expanded.
  [[nodiscard]] QVBoxLayout& body() { return *bodyLayout_; }
  [[nodiscard]] DisclosureButton& header() { return *header_; }
  [[nodiscard]] bool isExpanded() const;
  void setExpanded(bool expanded);

 private:
  DisclosureButton* header_;
  QWidget* bodyWidget_;
  QVBoxLayout* bodyLayout_;
};

}  // namespace wrenfold
