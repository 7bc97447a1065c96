#pragma once

// The ports a Wayland session does not offer to an ordinary client, answering at once and
// saying why: no window capture without the user picking a window in the Screenshot portal
// (which must never hold up a cycle), no global key monitoring (so no Alt double tap), and no
// global key grabs. The trigger there is a desktop shortcut bound to `wrenfold trigger`.

#include "core/platform/global_hot_keys.h"
#include "core/platform/modifier_monitor.h"
#include "core/platform/window_capture.h"

namespace wrenfold {

class WaylandWindowCapture final : public WindowCapture {
 public:
  [[nodiscard]] bool canCaptureWindows() override { return false; }
  [[nodiscard]] bool keepsCoveredPixels() override { return false; }
  [[nodiscard]] Result<std::vector<ShareableWindow>> shareableWindows() override;
  [[nodiscard]] Result<Image> captureWindow(const ShareableWindow& window, PixelSize size,
                                            const std::function<void()>& grabbed) override;
};

class WaylandModifierMonitor final : public ModifierMonitor {
 public:
  [[nodiscard]] bool start(Handler) override { return false; }
  void stop() override {}
};

class WaylandGlobalHotKeys final : public GlobalHotKeys {
 public:
  void setHandler(Handler) override {}
  [[nodiscard]] Result<void> registerHotKey(std::uint32_t id, const Shortcut& shortcut) override;
  void unregisterHotKey(std::uint32_t) override {}
  [[nodiscard]] bool isTakenByAnotherApplication(const Shortcut&) override { return false; }
  [[nodiscard]] std::optional<Shortcut> shortcutForNativeKey(std::uint32_t, std::uint32_t) const override {
    return std::nullopt;
  }
};

}  // namespace wrenfold
