#pragma once

// The control that records the custom shortcut: it shows the stored shortcut ("Ctrl+Alt+Space")
// with a button that clears it. It records only when asked (a click, or Space or Return while it
// has the focus; merely tabbing onto it records nothing) and then says "请按下快捷键…" until the
// next key, judged by the rules of core/trigger/shortcut_recorder_rules.h. The registry's hot
// keys are paused while it records, so even the current shortcut reaches the control.

#include <QWidget>
#include <functional>
#include <optional>

#include "core/platform/notification_center.h"
#include "core/trigger/shortcut_registry.h"

class QKeyEvent;
class QLabel;
class QToolButton;

namespace wrenfold {

// A warning about the shortcut, window-modal over `parent` and not waited for.
void showShortcutAlert(QWidget* parent, const QString& text, const QString& detail = {});

class ShortcutRecorder final : public QWidget {
 public:
  using ChangeHandler = std::function<void(const std::optional<Shortcut>&)>;

  // `registry` outlives the control. `onChange` is called after the control stored or cleared
  // the shortcut.
  ShortcutRecorder(ShortcutRegistry& registry, ShortcutRegistry::Name name, ChangeHandler onChange,
                   QWidget* parent = nullptr);
  ~ShortcutRecorder() override;

  // What the control shows now.
  [[nodiscard]] QString text() const;
  [[nodiscard]] bool isRecording() const { return recording_; }

 protected:
  bool event(QEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  // True when the key was dealt with; false lets it pass on (Tab moves the focus).
  bool record(QKeyEvent* key);
  void startRecording();
  void stopRecording();
  void store(const Shortcut& shortcut);
  void clearShortcut();
  void refresh();

  ShortcutRegistry& registry_;
  ShortcutRegistry::Name name_;
  ChangeHandler onChange_;
  QLabel* label_;
  QToolButton* clearButton_;
  NotificationCenter::Token observer_ = 0;
  bool recording_ = false;
};

}  // namespace wrenfold
