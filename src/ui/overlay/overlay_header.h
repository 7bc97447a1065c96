#pragma once

#include <QWidget>
#include <functional>
#include <string>

class QLabel;
class QSpacerItem;

namespace wrenfold {

class ElidedLabel;
class OverlayButton;

// The top row: the brand mark, what was captured (a title and the one-line summary) and the
// close button.
class OverlayHeader final : public QWidget {
 public:
  static constexpr int kIconSize = 18;

  explicit OverlayHeader(QWidget* parent = nullptr);

  // An empty summary reads as still preparing and shows no summary line.
  void setSummary(const std::string& summary);
  std::function<void()> onClose;

  [[nodiscard]] QLabel& title() { return *title_; }
  [[nodiscard]] ElidedLabel& summary() { return *summary_; }
  [[nodiscard]] OverlayButton& closeButton() { return *close_; }

 protected:
  // The mark is painted here rather than by a child widget, so assistive technologies skip it.
  void paintEvent(QPaintEvent* event) override;

 private:
  QSpacerItem* iconSlot_;
  QLabel* title_;
  ElidedLabel* summary_;
  OverlayButton* close_;
};

}  // namespace wrenfold
