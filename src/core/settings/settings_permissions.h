#pragma once

// The two permissions the settings show, as the Linux desktop grants them: accessibility is
// on when the AT-SPI bus answers and reports itself enabled; window capture is available in an
// X11 session (a Wayland session reports it unavailable). Main thread only.

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "core/platform/accessibility.h"
#include "core/platform/input_method.h"
#include "core/platform/main_queue.h"
#include "core/platform/window_capture.h"
#include "core/platform/work_queue.h"
#include "core/support/observable.h"

namespace wrenfold {

class SettingsPermissions : public Observable {
 public:
  // Every port outlives this object; `inputMethod` may be null (no input-method row).
  SettingsPermissions(Accessibility& accessibility, WindowCapture& windowCapture, WorkQueue& workQueue,
                      MainQueue& mainQueue, InputMethod* inputMethod = nullptr);
  ~SettingsPermissions();
  SettingsPermissions(const SettingsPermissions&) = delete;
  SettingsPermissions& operator=(const SettingsPermissions&) = delete;

  [[nodiscard]] bool hasAccessibilityPermission() const { return hasAccessibilityPermission_; }
  [[nodiscard]] bool hasScreenRecordingPermission() const { return hasScreenRecordingPermission_; }
  // Whether the row's explanation is shown (after its action was used).
  [[nodiscard]] bool showsAccessibilityExplanation() const { return showsAccessibilityExplanation_; }
  [[nodiscard]] bool showsScreenRecordingExplanation() const { return showsScreenRecordingExplanation_; }
  [[nodiscard]] bool offersInputMethod() const { return inputMethod_ != nullptr; }
  // Absent until first checked (on the worker, with the capture check).
  [[nodiscard]] std::optional<InputMethodStatus> inputMethodStatus() const { return inputMethodStatus_; }
  [[nodiscard]] bool showsInputMethodExplanation() const { return showsInputMethodExplanation_; }
  // Which applications already running must be restarted, once accessibility has just been
  // switched on here; empty otherwise.
  [[nodiscard]] const std::string& restartNotice() const { return restartNotice_; }

  // Reads both states again without asking for anything. The capture check may open a display
  // connection, so it runs on the worker and its answer arrives later.
  void refresh();
  // Switches the desktop's accessibility on, then refreshes and explains the outcome. Which
  // running applications must be restarted is asked a moment later: toolkits that follow the
  // switch need that long to build their trees.
  void enableAccessibility();

  static constexpr std::chrono::milliseconds kRestartCheckDelay{1500};
  // Refreshes and explains how window capture is granted on this desktop.
  void explainScreenRecording();
  // Refreshes and explains what the input-method route needs.
  void explainInputMethod();

 private:
  void screenRecordingChecked(bool available, std::optional<InputMethodStatus> inputMethod);
  void checkRestarts();

  Accessibility& accessibility_;
  WindowCapture& windowCapture_;
  WorkQueue& workQueue_;
  MainQueue& mainQueue_;
  InputMethod* inputMethod_;
  std::optional<InputMethodStatus> inputMethodStatus_;
  bool showsInputMethodExplanation_ = false;
  bool hasAccessibilityPermission_ = false;
  bool hasScreenRecordingPermission_ = false;
  bool showsAccessibilityExplanation_ = false;
  bool showsScreenRecordingExplanation_ = false;
  std::string restartNotice_;
  std::shared_ptr<SettingsPermissions*> self_;  // answers from the worker find it gone after destruction
};

}  // namespace wrenfold
