#pragma once

#include <QWidget>
#include <functional>
#include <string>

class QLabel;

namespace wrenfold {

class OverlayButton;
class SelectableTextView;

// Why the cycle failed: a title, the message as the cycle gave it (selectable), and a button
// that asks the application to open the settings.
class ErrorStateView final : public QWidget {
 public:
  explicit ErrorStateView(QWidget* parent = nullptr);

  void setMessage(const std::string& message);
  std::function<void()> onOpenSettings;

  [[nodiscard]] QLabel& title() { return *title_; }
  [[nodiscard]] SelectableTextView& message() { return *message_; }
  [[nodiscard]] OverlayButton& openSettingsButton() { return *openSettings_; }

 private:
  QLabel* title_;
  SelectableTextView* message_;
  OverlayButton* openSettings_;
};

}  // namespace wrenfold
