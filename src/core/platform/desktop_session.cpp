#include "core/platform/desktop_session.h"

namespace wrenfold {

DesktopSession detectDesktopSession(std::string_view sessionType, std::string_view waylandDisplay,
                                    std::string_view display, bool xServerAnswers) {
  DesktopSession session;
  session.hasXServer = !display.empty() && xServerAnswers;
  if (sessionType == "wayland") {
    session.kind = SessionKind::wayland;
  } else if (sessionType == "x11") {
    session.kind = SessionKind::x11;
  } else if (!waylandDisplay.empty()) {
    // tty, unspecified or missing (a compositor started by hand): its socket tells.
    session.kind = SessionKind::wayland;
  } else if (session.hasXServer) {
    session.kind = SessionKind::x11;
  }
  return session;
}

std::vector<std::string> describeSessionOffers(const DesktopSession& session) {
  switch (session.kind) {
    case SessionKind::x11:
      return {"当前是 X11 会话。",
              "触发：双击 Alt 键或自定义全局快捷键；也可以把 wrenfold trigger 绑定到桌面的快捷键。",
              "目标：活动窗口（X11）与辅助功能总线上的焦点输入框。",
              "填入：辅助功能直接写入，其次激活窗口后模拟 Ctrl+V 粘贴，粘贴前后保存并恢复剪贴板。",
              "截图：直接截取当前窗口，无需另外授权。"};
    case SessionKind::wayland:
      return {
          std::string("当前是 Wayland 会话") +
              (session.hasXServer ? "，Wrenfold 的面板通过 XWayland 显示。" : "，没有 XWayland。"),
          session.hasGlobalShortcutsPortal
              ? "触发：Wayland 不允许监听全局按键，双击 Alt 键不可用；Wrenfold 通过桌面的全局快捷键门户登记"
                "“唤起 Wrenfold”，按键在桌面的快捷键设置中查看和修改。"
              : "触发：Wayland 不允许监听全局按键，双击 Alt 键不可用；请在桌面的键盘设置中把一个快捷键绑定到 "
                "wrenfold trigger。",
          "目标：只通过辅助功能总线确定当前应用和焦点输入框。",
          session.hasRemoteDesktopPortal
              ? "填入：辅助功能直接写入；无法写入时通过桌面的远程桌面门户模拟粘贴（桌面可能先请求一次同意），"
                "之后 Wayland "
                "程序的剪贴板上留着候选，原有内容无法恢复；未获同意时候选放在剪贴板上，请手动粘贴。"
              : "填入：辅助功能直接写入；无法写入时候选放在剪贴板上，请手动按 Ctrl+V "
                "粘贴（不保存或恢复剪贴板）。",
          "截图：Wayland 没有无需交互的窗口截图方式，生成时不附带截图。"};
    case SessionKind::none:
      break;
  }
  return {"没有检测到图形桌面会话。"};
}

}  // namespace wrenfold
