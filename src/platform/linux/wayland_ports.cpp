#include "platform/linux/wayland_ports.h"

namespace wrenfold {
namespace {

constexpr const char* kNoCapture = "Wayland 会话中没有无需交互的窗口截图方式";
constexpr const char* kNoGlobalKeys =
    "Wayland 会话不允许应用程序注册全局快捷键，请在桌面的键盘设置中把快捷键绑定到 wrenfold trigger";

}  // namespace

Result<std::vector<ShareableWindow>> WaylandWindowCapture::shareableWindows() {
  return fail(Failure::platform(kNoCapture));
}

Result<Image> WaylandWindowCapture::captureWindow(const ShareableWindow&, PixelSize,
                                                  const std::function<void()>&) {
  return fail(Failure::platform(kNoCapture));
}

Result<void> WaylandGlobalHotKeys::registerHotKey(std::uint32_t, const Shortcut&) {
  return fail(Failure::platform(kNoGlobalKeys));
}

}  // namespace wrenfold
