#include "core/settings/settings_permissions.h"

namespace wrenfold {

SettingsPermissions::SettingsPermissions(Accessibility& accessibility, WindowCapture& windowCapture,
                                         WorkQueue& workQueue, MainQueue& mainQueue, InputMethod* inputMethod)
    : accessibility_(accessibility),
      windowCapture_(windowCapture),
      workQueue_(workQueue),
      mainQueue_(mainQueue),
      inputMethod_(inputMethod),
      self_(std::make_shared<SettingsPermissions*>(this)) {}

SettingsPermissions::~SettingsPermissions() = default;

void SettingsPermissions::refresh() {
  hasAccessibilityPermission_ = accessibility_.isProcessTrusted();
  notifyChanged();
  std::weak_ptr<SettingsPermissions*> weak = self_;
  workQueue_.run([weak, &capture = windowCapture_, &mainQueue = mainQueue_, inputMethod = inputMethod_] {
    const bool available = capture.canCaptureWindows();
    // A bus round trip or two, bounded: on the worker too.
    const auto status = inputMethod ? std::optional(inputMethod->status()) : std::nullopt;
    mainQueue.post([weak, available, status] {
      if (const auto self = weak.lock()) {
        (*self)->screenRecordingChecked(available, status);
      }
    });
  });
}

void SettingsPermissions::enableAccessibility() {
  accessibility_.promptForTrust();
  showsAccessibilityExplanation_ = true;
  refresh();
  std::weak_ptr<SettingsPermissions*> weak = self_;
  mainQueue_.postAfter(kRestartCheckDelay, [weak] {
    if (const auto self = weak.lock()) {
      (*self)->checkRestarts();
    }
  });
}

void SettingsPermissions::checkRestarts() {
  if (auto notice = accessibility_.takeRestartNotice()) {
    restartNotice_ = std::move(*notice);
    notifyChanged();
  }
}

void SettingsPermissions::explainScreenRecording() {
  showsScreenRecordingExplanation_ = true;
  refresh();
}

void SettingsPermissions::explainInputMethod() {
  showsInputMethodExplanation_ = true;
  refresh();
}

void SettingsPermissions::screenRecordingChecked(bool available,
                                                 std::optional<InputMethodStatus> inputMethod) {
  hasScreenRecordingPermission_ = available;
  inputMethodStatus_ = inputMethod;
  notifyChanged();
}

}  // namespace wrenfold
