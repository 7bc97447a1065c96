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

// What describing a window takes, asked before any answer is read: one round trip for all of
// it, and for every window of a list at once.
struct X11WindowCapture::WindowQuestions {
  Window window;
  xcb_get_window_attributes_cookie_t attributes;
  xcb_get_geometry_cookie_t geometry;
  xcb_translate_coordinates_cookie_t position;
  X11Connection::PendingProperty pid;
  X11Connection::PendingProperty desktop;
  X11Connection::PendingProperty state;
  X11Connection::PendingProperty types;
  X11Connection::PendingProperty netName;
  X11Connection::PendingProperty wmName;
};

X11WindowCapture::WindowQuestions X11WindowCapture::ask(Window window) {
  xcb_connection_t* c = x_->xcb();
  const auto id = static_cast<xcb_window_t>(window);
  return WindowQuestions{window,
                         xcb_get_window_attributes(c, id),
                         xcb_get_geometry(c, id),
                         xcb_translate_coordinates(c, id, static_cast<xcb_window_t>(x_->root()), 0, 0),
                         x_->ask(window, "_NET_WM_PID"),
                         x_->ask(window, "_NET_WM_DESKTOP"),
                         x_->ask(window, "_NET_WM_STATE"),
                         x_->ask(window, "_NET_WM_WINDOW_TYPE"),
                         x_->ask(window, "_NET_WM_NAME"),
                         x_->ask(window, "WM_NAME")};
}

std::optional<ShareableWindow> X11WindowCapture::describe(WindowQuestions& asked, long currentDesktop) {
  xcb_connection_t* c = x_->xcb();
  const auto attributes = replyTo(c, asked.attributes, xcb_get_window_attributes_reply);
  const auto geometry = replyTo(c, asked.geometry, xcb_get_geometry_reply);
  const auto position = replyTo(c, asked.position, xcb_translate_coordinates_reply);
  const auto pid = asked.pid.cardinals();
  const auto desktop = asked.desktop.cardinals();
  const auto states = asked.state.cardinals();
  const auto types = asked.types.cardinals();
  auto title = asked.netName.text();
  const auto wmName = asked.wmName.text();
  if (!attributes || !geometry || !position) {
    return std::nullopt;  // the window went away meanwhile
  }
  ShareableWindow result;
  result.windowID = asked.window;
  result.processID = pid && !pid->empty() ? static_cast<std::int32_t>(pid->front()) : 0;
  const bool onDesktop = !desktop || desktop->empty() || desktop->front() == kAllDesktops ||
                         static_cast<long>(desktop->front()) == currentDesktop;
  bool hidden = false;
  for (const auto state : states.value_or(std::vector<unsigned long>{})) {
    hidden = hidden || state == x_->atom("_NET_WM_STATE_HIDDEN");
  }
  result.isOnScreen = attributes->map_state == XCB_MAP_STATE_VIEWABLE && onDesktop && !hidden;
  // Layer 0 is an ordinary window: no type, normal or dialog.
  const bool ordinary = !types || types->empty() ||
                        types->front() == x_->atom("_NET_WM_WINDOW_TYPE_NORMAL") ||
                        types->front() == x_->atom("_NET_WM_WINDOW_TYPE_DIALOG");
  result.layer = ordinary ? 0 : 1;
  result.frame = Rect{static_cast<double>(position->dst_x), static_cast<double>(position->dst_y),
                      static_cast<double>(geometry->width), static_cast<double>(geometry->height)};
  result.title = text::repairUtf8(title ? *title : wmName.value_or(""));
  result.pointPixelScale = 1;
  return result;
}

namespace {
long currentDesktopOf(const std::optional<std::vector<unsigned long>>& desktop) {
  return desktop && !desktop->empty() ? static_cast<long>(desktop->front()) : 0;
}
}  // namespace

Result<std::vector<ShareableWindow>> X11WindowCapture::shareableWindows() {
  const std::lock_guard lock(mutex_);
  if (connection() == nullptr) {
    return failPlatform("无法连接到 X 显示服务器。");
  }
  auto desktop = x_->ask(x_->root(), "_NET_CURRENT_DESKTOP");
  const auto stacking = x_->cardinals(x_->root(), "_NET_CLIENT_LIST_STACKING");
  const long current = currentDesktopOf(desktop.cardinals());
  if (!stacking) {
    return failPlatform("窗口管理器没有提供窗口列表。");
  }
  // Front to back, the order a user sees them in.
  std::vector<WindowQuestions> asked;
  asked.reserve(stacking->size());
  for (auto it = stacking->rbegin(); it != stacking->rend(); ++it) {
    asked.push_back(ask(static_cast<Window>(*it)));
  }
  std::vector<ShareableWindow> windows;
  for (WindowQuestions& questions : asked) {
    if (auto window = describe(questions, current)) {
      windows.push_back(std::move(*window));
    }
  }
  return windows;
}

// Each round trip waits for the X server to be scheduled, which on a busy machine is what a
// capture costs: one window is described in one, without the properties of every other.
Result<std::optional<ShareableWindow>> X11WindowCapture::shareableWindow(std::uint64_t windowID) {
  const std::lock_guard lock(mutex_);
  if (connection() == nullptr) {
    return failPlatform("无法连接到 X 显示服务器。");
  }
  auto stacking = x_->ask(x_->root(), "_NET_CLIENT_LIST_STACKING");
  auto desktop = x_->ask(x_->root(), "_NET_CURRENT_DESKTOP");
  auto asked = ask(static_cast<Window>(windowID));
  const auto listed = stacking.cardinals();
  auto window = describe(asked, currentDesktopOf(desktop.cardinals()));
  if (!listed) {
    return failPlatform("窗口管理器没有提供窗口列表。");
  }
  if (std::ranges::find(*listed, windowID) == listed->end()) {
    return std::nullopt;
  }
  return window;
}

bool X11WindowCapture::compositing() {
  const std::string name = "_NET_WM_CM_S" + std::to_string(XDefaultScreen(x_->display()));
  xcb_connection_t* c = x_->xcb();
  const auto owner = replyTo(c, xcb_get_selection_owner(c, static_cast<xcb_atom_t>(x_->atom(name.c_str()))),
                             xcb_get_selection_owner_reply);
  return owner && owner->owner != XCB_NONE;
}

// The window's frame: its ancestor that is a child of the root (the window itself without a
// reparenting window manager), from the window's own tree asked for earlier. Absent when the
// window is gone.
std::optional<Window> X11WindowCapture::frameOf(Window window, xcb_query_tree_cookie_t askedTree) {
  xcb_connection_t* c = x_->xcb();
  Window frame = window;
  auto tree = replyTo(c, askedTree, xcb_query_tree_reply);
  for (int step = 0; step < kMaxParentSteps; ++step) {
    if (!tree) {
      return std::nullopt;
    }
    if (tree->parent == tree->root || tree->parent == XCB_NONE) {
      break;
    }
    frame = tree->parent;
    tree = replyTo(c, xcb_query_tree(c, tree->parent), xcb_query_tree_reply);
  }
  return frame;
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
  const auto frame = frameOf(window, xcb_query_tree(x_->xcb(), static_cast<xcb_window_t>(window)));
  X11Connection::ErrorTrap trap(*x_);
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

// Pixels read through XCB from a drawable of the root's visual: 32 bits each, rows padded as the
// server's format for their depth says.
std::optional<Image> X11WindowCapture::rootImage(const xcb_get_image_reply_t& reply, int width, int height) {
  const xcb_setup_t* setup = xcb_get_setup(x_->xcb());
  const xcb_format_t* format = nullptr;
  for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem > 0; xcb_format_next(&it)) {
    format = it.data->depth == reply.depth ? it.data : format;
  }
  const xcb_visualtype_t* visual = nullptr;
  for (auto screen = xcb_setup_roots_iterator(setup); screen.rem > 0 && visual == nullptr;
       xcb_screen_next(&screen)) {
    for (auto depth = xcb_screen_allowed_depths_iterator(screen.data); depth.rem > 0;
         xcb_depth_next(&depth)) {
      for (auto v = xcb_depth_visuals_iterator(depth.data); v.rem > 0; xcb_visualtype_next(&v)) {
        visual = v.data->visual_id == reply.visual ? v.data : visual;
      }
    }
  }
  if (format == nullptr || visual == nullptr || format->bits_per_pixel != 32) {
    return std::nullopt;
  }
  const int pad = format->scanline_pad;
  const int bytesPerLine = (width * 32 + pad - 1) / pad * pad / 8;
  const auto length = static_cast<std::size_t>(xcb_get_image_data_length(&reply));
  if (length < static_cast<std::size_t>(bytesPerLine) * static_cast<std::size_t>(height)) {
    return std::nullopt;
  }
  const XPixelFormat pixels{visual->red_mask, visual->green_mask, visual->blue_mask, false,
                            setup->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST};
  auto image = imageFromXPixels({xcb_get_image_data(&reply), length}, width, height, bytesPerLine, pixels);
  if (image.rgba.empty()) {
    return std::nullopt;
  }
  return image;
}

// What the screen shows over the window's rectangle. Without a compositor the server keeps no
// pixels for covered parts, and what the screen shows there belongs to other windows (which
// may hold secrets): those parts, like parts off screen, are white. The requests go out in three
// round trips (one more per level of frames), since on a busy machine each waits for the server.
std::optional<Image> X11WindowCapture::captureFromRoot(Window window, const std::function<void()>& grabbed) {
  xcb_connection_t* c = x_->xcb();
  const auto id = static_cast<xcb_window_t>(window);
  const auto root = static_cast<xcb_window_t>(x_->root());
  const auto geometryAsked = xcb_get_geometry(c, id);
  const auto rootAsked = xcb_get_geometry(c, root);
  const auto positionAsked = xcb_translate_coordinates(c, id, root, 0, 0);
  const auto stackAsked = xcb_query_tree(c, root);
  const auto frame = frameOf(window, xcb_query_tree(c, id));
  const auto geometry = replyTo(c, geometryAsked, xcb_get_geometry_reply);
  const auto rootGeometry = replyTo(c, rootAsked, xcb_get_geometry_reply);
  const auto position = replyTo(c, positionAsked, xcb_translate_coordinates_reply);
  const auto stack = replyTo(c, stackAsked, xcb_query_tree_reply);
  if (!frame || !geometry || !rootGeometry || !position || !stack) {
    return std::nullopt;
  }
  const int x = position->dst_x;
  const int y = position->dst_y;
  const int width = geometry->width;
  const int height = geometry->height;
  const int left = std::max(x, 0);
  const int top = std::max(y, 0);
  const int right = std::min(x + width, static_cast<int>(rootGeometry->width));
  const int bottom = std::min(y + height, static_cast<int>(rootGeometry->height));
  if (right <= left || bottom <= top) {
    return std::nullopt;
  }
  // Bottom to top: every visible top-level window after the frame is drawn over it, menus and
  // tooltips included, since they are children of the root too. Asked in the same round trip as
  // the pixels, so they are what stood there when the pixels were taken.
  std::vector<std::pair<xcb_get_window_attributes_cookie_t, xcb_get_geometry_cookie_t>> aboveAsked;
  const xcb_window_t* children = xcb_query_tree_children(stack.get());
  const int count = xcb_query_tree_children_length(stack.get());
  const auto at = std::find(children, children + count, static_cast<xcb_window_t>(*frame));
  for (const xcb_window_t* above = at == children + count ? at : at + 1; above != children + count; ++above) {
    aboveAsked.emplace_back(xcb_get_window_attributes(c, *above), xcb_get_geometry(c, *above));
  }
  const auto pixelsAsked = xcb_get_image(
      c, XCB_IMAGE_FORMAT_Z_PIXMAP, root, static_cast<std::int16_t>(left), static_cast<std::int16_t>(top),
      static_cast<std::uint16_t>(right - left), static_cast<std::uint16_t>(bottom - top), ~0U);
  std::vector<PixelRect> covers;
  for (const auto& [attributesAsked, coverAsked] : aboveAsked) {
    const auto attributes = replyTo(c, attributesAsked, xcb_get_window_attributes_reply);
    const auto cover = replyTo(c, coverAsked, xcb_get_geometry_reply);
    if (!attributes || !cover || attributes->map_state != XCB_MAP_STATE_VIEWABLE ||
        attributes->_class != XCB_WINDOW_CLASS_INPUT_OUTPUT) {
      continue;
    }
    const int border = cover->border_width;
    covers.push_back(
        PixelRect{cover->x - x, cover->y - y, cover->width + 2 * border, cover->height + 2 * border});
  }
  const auto pixels = replyTo(c, pixelsAsked, xcb_get_image_reply);
  if (!pixels) {
    return std::nullopt;
  }
  if (grabbed) {
    grabbed();
  }
  auto visible = rootImage(*pixels, right - left, bottom - top);
  if (!visible) {
    return std::nullopt;
  }
  if (visible->width != width || visible->height != height) {
    visible = placedOnWhite(*visible, left - x, top - y, width, height);
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
