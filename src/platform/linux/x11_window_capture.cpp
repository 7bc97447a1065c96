#include "platform/linux/x11_window_capture.h"

#include <X11/Xutil.h>
#include <X11/extensions/Xcomposite.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/text/text.h"
#include "platform/linux/x11_pixels.h"

namespace wrenfold {
namespace {

constexpr unsigned long kAllDesktops = 0xFFFFFFFF;
constexpr int kMaxParentSteps = 32;

struct ImageFree {
  void operator()(XImage* image) const {
    if (image != nullptr) {
      XDestroyImage(image);
    }
  }
};
using XImagePtr = std::unique_ptr<XImage, ImageFree>;

// `visual` describes the pixels: an image read from a pixmap carries no channel masks of its own.
std::optional<Image> convert(const XImage& image, const Visual& visual, bool hasAlpha) {
  if (image.bits_per_pixel != 32 || image.data == nullptr) {
    return std::nullopt;
  }
  const XPixelFormat format{
      static_cast<std::uint32_t>(visual.red_mask), static_cast<std::uint32_t>(visual.green_mask),
      static_cast<std::uint32_t>(visual.blue_mask), hasAlpha, image.byte_order == MSBFirst};
  const auto size = static_cast<std::size_t>(image.bytes_per_line) * static_cast<std::size_t>(image.height);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(image.data);
  auto converted = imageFromXPixels({bytes, size}, image.width, image.height, image.bytes_per_line, format);
  if (converted.rgba.empty()) {
    return std::nullopt;
  }
  return converted;
}

Failure captureFailure() {
  return Failure::platform("无法截取窗口画面，窗口可能已关闭。");
}

}  // namespace

X11WindowCapture::X11WindowCapture() = default;
X11WindowCapture::~X11WindowCapture() = default;

X11Connection* X11WindowCapture::connection() {
  if (!x_ && !triedToConnect_) {
    triedToConnect_ = true;
    x_ = X11Connection::open();
  }
  return x_.get();
}

bool X11WindowCapture::canCaptureWindows() {
  const char* session = std::getenv("XDG_SESSION_TYPE");
  // Under Wayland, X11 sees only the XWayland windows: report no capture rather than half of it.
  if (session != nullptr && std::string_view(session) == "wayland") {
    return false;
  }
  const std::lock_guard lock(mutex_);
  return connection() != nullptr;
}

std::optional<ShareableWindow> X11WindowCapture::describe(Window window, long currentDesktop) {
  XWindowAttributes attributes{};
  Window child = 0;
  int rootX = 0;
  int rootY = 0;
  {
    X11Connection::ErrorTrap trap(*x_);
    const bool ok =
        XGetWindowAttributes(x_->display(), window, &attributes) != 0 &&
        XTranslateCoordinates(x_->display(), window, x_->root(), 0, 0, &rootX, &rootY, &child) != 0;
    if (!trap.succeeded() || !ok) {
      return std::nullopt;  // the window went away meanwhile
    }
  }
  ShareableWindow result;
  result.windowID = window;
  const auto pid = x_->cardinals(window, "_NET_WM_PID");
  result.processID = pid && !pid->empty() ? static_cast<std::int32_t>(pid->front()) : 0;
  const auto desktop = x_->cardinals(window, "_NET_WM_DESKTOP");
  const bool onDesktop = !desktop || desktop->empty() || desktop->front() == kAllDesktops ||
                         static_cast<long>(desktop->front()) == currentDesktop;
  bool hidden = false;
  for (const auto state : x_->cardinals(window, "_NET_WM_STATE").value_or(std::vector<unsigned long>{})) {
    hidden = hidden || state == x_->atom("_NET_WM_STATE_HIDDEN");
  }
  result.isOnScreen = attributes.map_state == IsViewable && onDesktop && !hidden;
  // Layer 0 is an ordinary window: no type, normal or dialog.
  const auto types = x_->cardinals(window, "_NET_WM_WINDOW_TYPE");
  const bool ordinary = !types || types->empty() ||
                        types->front() == x_->atom("_NET_WM_WINDOW_TYPE_NORMAL") ||
                        types->front() == x_->atom("_NET_WM_WINDOW_TYPE_DIALOG");
  result.layer = ordinary ? 0 : 1;
  result.frame = Rect{static_cast<double>(rootX), static_cast<double>(rootY),
                      static_cast<double>(attributes.width), static_cast<double>(attributes.height)};
  auto title = x_->text(window, "_NET_WM_NAME");
  if (!title) {
    title = x_->text(window, "WM_NAME");
  }
  result.title = text::repairUtf8(title.value_or(""));
  result.pointPixelScale = 1;
  return result;
}

Result<std::vector<ShareableWindow>> X11WindowCapture::shareableWindows() {
  const std::lock_guard lock(mutex_);
  if (connection() == nullptr) {
    return failPlatform("无法连接到 X 显示服务器。");
  }
  const auto desktop = x_->cardinals(x_->root(), "_NET_CURRENT_DESKTOP");
  const long current = desktop && !desktop->empty() ? static_cast<long>(desktop->front()) : 0;
  const auto stacking = x_->cardinals(x_->root(), "_NET_CLIENT_LIST_STACKING");
  if (!stacking) {
    return failPlatform("窗口管理器没有提供窗口列表。");
  }
  std::vector<ShareableWindow> windows;
  // Front to back, the order a user sees them in.
  for (auto it = stacking->rbegin(); it != stacking->rend(); ++it) {
    if (auto window = describe(static_cast<Window>(*it), current)) {
      windows.push_back(std::move(*window));
    }
  }
  return windows;
}

// Each request is a round trip, which on a busy machine waits for the X server to be scheduled:
// one window is described without the properties of every other.
Result<std::optional<ShareableWindow>> X11WindowCapture::shareableWindow(std::uint64_t windowID) {
  const std::lock_guard lock(mutex_);
  if (connection() == nullptr) {
    return failPlatform("无法连接到 X 显示服务器。");
  }
  const auto stacking = x_->cardinals(x_->root(), "_NET_CLIENT_LIST_STACKING");
  if (!stacking) {
    return failPlatform("窗口管理器没有提供窗口列表。");
  }
  if (std::ranges::find(*stacking, windowID) == stacking->end()) {
    return std::nullopt;
  }
  const auto desktop = x_->cardinals(x_->root(), "_NET_CURRENT_DESKTOP");
  const long current = desktop && !desktop->empty() ? static_cast<long>(desktop->front()) : 0;
  return describe(static_cast<Window>(windowID), current);
}

bool X11WindowCapture::compositing() {
  const std::string name = "_NET_WM_CM_S" + std::to_string(XDefaultScreen(x_->display()));
  return XGetSelectionOwner(x_->display(), x_->atom(name.c_str())) != 0;
}

// The window's frame: its ancestor that is a child of the root (the window itself without a
// reparenting window manager). Absent when the window is gone.
std::optional<Window> X11WindowCapture::frameOf(Window window) {
  Window frame = window;
  for (int step = 0; step < kMaxParentSteps; ++step) {
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(x_->display(), frame, &root, &parent, &children, &count) == 0) {
      return std::nullopt;
    }
    if (children != nullptr) {
      XFree(children);
    }
    if (parent == root || parent == 0) {
      break;
    }
    frame = parent;
  }
  return frame;
}

// The rectangles, relative to a window at (x, y) on the root, of every visible top-level
// window stacked above `frame`: menus and tooltips included, since they are children of the
// root too.
std::vector<PixelRect> X11WindowCapture::windowsAbove(Window frame, int x, int y) {
  std::vector<PixelRect> above;
  Window root = 0;
  Window parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  if (XQueryTree(x_->display(), x_->root(), &root, &parent, &children, &count) == 0) {
    return above;
  }
  // Bottom to top: everything after the frame is drawn over it.
  bool passedFrame = false;
  for (unsigned int i = 0; i < count; ++i) {
    if (!passedFrame) {
      passedFrame = children[i] == frame;
      continue;
    }
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(x_->display(), children[i], &attributes) == 0 ||
        attributes.map_state != IsViewable || attributes.c_class != InputOutput) {
      continue;
    }
    const int border = attributes.border_width;
    above.push_back(PixelRect{attributes.x - x, attributes.y - y, attributes.width + 2 * border,
                              attributes.height + 2 * border});
  }
  if (children != nullptr) {
    XFree(children);
  }
  return above;
}

// A rectangle of `drawable`, its pixels in `visual`'s layout.
std::optional<Image> X11WindowCapture::readPixels(Drawable drawable, const PixelRect& area,
                                                  const Visual& visual, bool hasAlpha,
                                                  const std::function<void()>& grabbed) {
  X11Connection::ErrorTrap trap(*x_);
  XImagePtr image(XGetImage(x_->display(), drawable, area.x, area.y, static_cast<unsigned>(area.width),
                            static_cast<unsigned>(area.height), AllPlanes, ZPixmap));
  if (!trap.succeeded() || !image) {
    return std::nullopt;
  }
  if (grabbed) {
    grabbed();
  }
  return convert(*image, visual, hasAlpha);
}

// The window's frame as a pixmap from the compositor, cropped to the window.
std::optional<Image> X11WindowCapture::captureComposited(Window window,
                                                         const std::function<void()>& grabbed) {
  X11Connection::ErrorTrap trap(*x_);
  const auto frame = frameOf(window);
  XWindowAttributes attributes{};
  Window child = 0;
  int offsetX = 0;
  int offsetY = 0;
  if (!frame || XGetWindowAttributes(x_->display(), window, &attributes) == 0 ||
      XTranslateCoordinates(x_->display(), window, *frame, 0, 0, &offsetX, &offsetY, &child) == 0) {
    return std::nullopt;
  }
  const Pixmap pixmap = XCompositeNameWindowPixmap(x_->display(), *frame);
  if (!trap.succeeded()) {
    return std::nullopt;  // not redirected: the compositor leaves this window alone
  }
  auto image = readPixels(pixmap, {offsetX, offsetY, attributes.width, attributes.height}, *attributes.visual,
                          attributes.depth == 32, grabbed);
  XFreePixmap(x_->display(), pixmap);
  return image;
}

// What the screen shows over the window's rectangle. Without a compositor the server keeps no
// pixels for covered parts, and what the screen shows there belongs to other windows (which
// may hold secrets): those parts, like parts off screen, are white.
std::optional<Image> X11WindowCapture::captureFromRoot(Window window, const std::function<void()>& grabbed) {
  X11Connection::ErrorTrap trap(*x_);
  XWindowAttributes attributes{};
  XWindowAttributes rootAttributes{};
  Window child = 0;
  int x = 0;
  int y = 0;
  const auto frame = frameOf(window);
  if (!frame || XGetWindowAttributes(x_->display(), window, &attributes) == 0 ||
      XGetWindowAttributes(x_->display(), x_->root(), &rootAttributes) == 0 ||
      XTranslateCoordinates(x_->display(), window, x_->root(), 0, 0, &x, &y, &child) == 0 ||
      !trap.succeeded()) {
    return std::nullopt;
  }
  const int left = std::max(x, 0);
  const int top = std::max(y, 0);
  const int right = std::min(x + attributes.width, rootAttributes.width);
  const int bottom = std::min(y + attributes.height, rootAttributes.height);
  if (right <= left || bottom <= top) {
    return std::nullopt;
  }
  const auto covers = windowsAbove(*frame, x, y);
  auto visible =
      readPixels(x_->root(), {left, top, right - left, bottom - top}, *rootAttributes.visual, false, grabbed);
  if (!visible) {
    return std::nullopt;
  }
  if (visible->width != attributes.width || visible->height != attributes.height) {
    visible = placedOnWhite(*visible, left - x, top - y, attributes.width, attributes.height);
  }
  return whitenedOver(std::move(*visible), covers);
}

bool X11WindowCapture::keepsCoveredPixels() {
  const std::lock_guard lock(mutex_);
  return connection() != nullptr && compositing();
}

Result<Image> X11WindowCapture::captureWindow(const ShareableWindow& window, PixelSize size,
                                              const std::function<void()>& grabbed) {
  const std::lock_guard lock(mutex_);
  if (connection() == nullptr) {
    return failPlatform("无法连接到 X 显示服务器。");
  }
  const auto id = static_cast<Window>(window.windowID);
  auto image = compositing() ? captureComposited(id, grabbed) : std::nullopt;
  if (!image) {
    image = captureFromRoot(id, grabbed);
  }
  if (!image) {
    return fail(captureFailure());
  }
  if (image->width == size.width && image->height == size.height) {
    return std::move(*image);
  }
  return resizedTo(*image, size);
}

}  // namespace wrenfold
