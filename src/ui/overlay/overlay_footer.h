#pragma once

#include <QWidget>
#include <functional>

class QLabel;

namespace wrenfold {

class BusyIndicator;
class OverlayButton;

// The bottom row: with a selected candidate, the key hint and the copy and insert buttons for
// it; otherwise only a small progress indicator while the overlay is busy.
class OverlayFooter final : public QWidget {
 public:
  explicit OverlayFooter(QWidget* parent = nullptr);

  void setState(bool hasSelection, bool busy);
  std::function<void()> onCopy;
  std::function<void()> onInsert;

  [[nodiscard]] QLabel& hint() { return *hint_; }
  [[nodiscard]] OverlayButton& copyButton() { return *copy_; }
  [[nodiscard]] OverlayButton& insertButton() { return *insert_; }
  [[nodiscard]] BusyIndicator& busyIndicator() { return *busy_; }

 private:
  QLabel* hint_;
  OverlayButton* copy_;
  OverlayButton* insert_;
  BusyIndicator* busy_;
};

}  // namespace wrenfold
