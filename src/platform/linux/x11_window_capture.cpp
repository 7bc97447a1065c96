#include "platform/linux/x11_window_capture.h"

#include <X11/Xutil.h>
#include <X11/extensions/Xcomposite.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>

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
// Larger captures (beyond a 4K screen) go over the socket rather than keep that much memory.
constexpr std::size_t kMaxSharedBytes = std::size_t{64} << 20;

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

// A segment of memory shared with the X server (MIT-SHM): the server writes the pixels there
// and answers once, instead of streaming megabytes through the socket, which on a busy machine
// waits for both sides to be scheduled once per socket buffer. Kept from one capture to the next:
// a fresh segment costs each side a page fault per page on its first use, which took longer than
// the copy itself (50 ms for a 3000x1500 window, 150 ms on a busy machine, against 1.3 ms).
class X11WindowCapture::SharedSegment {
 public:
  static std::unique_ptr<SharedSegment> create(xcb_connection_t* c, std::size_t size) {
    const int id = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
    if (id < 0) {
      return nullptr;
    }
    void* address = shmat(id, nullptr, 0);
    if (address == reinterpret_cast<void*>(-1)) {
      shmctl(id, IPC_RMID, nullptr);
      return nullptr;
    }
    auto segment = std::unique_ptr<SharedSegment>(new SharedSegment(c, id, address, size));
    segment->attach_ = xcb_shm_attach_checked(c, segment->seg_, static_cast<std::uint32_t>(id), 0);
    return segment;
  }
  ~SharedSegment() {
    if (attached_.value_or(false)) {
      xcb_shm_detach(c_, seg_);
    }
    shmdt(address_);
    shmctl(id_, IPC_RMID, nullptr);
  }
  SharedSegment(const SharedSegment&) = delete;
  SharedSegment& operator=(const SharedSegment&) = delete;

  // Asked with the first image, so it costs no round trip of its own. Refused where the server
  // cannot reach our memory (another machine, another IPC namespace).
  [[nodiscard]] bool attached() {
    if (!attached_) {
      xcb_generic_error_t* error = xcb_request_check(c_, attach_);
      attached_ = error == nullptr;
      std::free(error);
      // Both sides have it now: removed once both let go, even if this process ends abruptly.
      shmctl(id_, IPC_RMID, nullptr);
    }
    return *attached_;
  }
  [[nodiscard]] xcb_shm_seg_t seg() const { return seg_; }
  [[nodiscard]] std::size_t size() const { return size_; }
  [[nodiscard]] std::span<const std::uint8_t> bytes(std::size_t size) const {
    return {static_cast<const std::uint8_t*>(address_), std::min(size, size_)};
  }

 private:
  SharedSegment(xcb_connection_t* c, int id, void* address, std::size_t size)
      : c_(c), id_(id), address_(address), size_(size), seg_(xcb_generate_id(c)) {}

  xcb_connection_t* c_;
  int id_;
  void* address_;
  std::size_t size_;
  xcb_shm_seg_t seg_;
  xcb_void_cookie_t attach_{};
  std::optional<bool> attached_;
};

// Pixels asked of a drawable: through the shared segment where the server has the extension,
// else over the socket.
struct X11WindowCapture::PendingPixels {
  xcb_drawable_t drawable = 0;
  PixelRect area;
  bool shared = false;
  xcb_shm_get_image_cookie_t throughSegment{};
  xcb_get_image_cookie_t overSocket{};
};

X11WindowCapture::PendingPixels X11WindowCapture::askPixels(xcb_drawable_t drawable, const PixelRect& area) {
  xcb_connection_t* c = x_->xcb();
  if (sharedMemory_ == SharedMemory::unknown) {
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(c, &xcb_shm_id);
    sharedMemory_ =
        extension != nullptr && extension->present ? SharedMemory::usable : SharedMemory::unusable;
  }
  const std::size_t size = static_cast<std::size_t>(area.width) * static_cast<std::size_t>(area.height) * 4;
  if (sharedMemory_ == SharedMemory::usable && size <= kMaxSharedBytes &&
      (!segment_ || segment_->size() < size)) {
    segment_.reset();
    segment_ = SharedSegment::create(c, size);
  }
  PendingPixels asked{drawable, area};
  const auto x = static_cast<std::int16_t>(area.x);
  const auto y = static_cast<std::int16_t>(area.y);
  const auto width = static_cast<std::uint16_t>(area.width);
  const auto height = static_cast<std::uint16_t>(area.height);
  asked.shared = sharedMemory_ == SharedMemory::usable && segment_ && segment_->size() >= size;
  if (asked.shared) {
    asked.throughSegment = xcb_shm_get_image(c, drawable, x, y, width, height, ~0U, XCB_IMAGE_FORMAT_Z_PIXMAP,
                                             segment_->seg(), 0);
  } else {
    asked.overSocket = xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, drawable, x, y, width, height, ~0U);
  }
  return asked;
}

// The pixels asked for, told to `grabbed` as soon as they are ours, then converted. A pixmap has
// no visual of its own: `visual` then names the window's.
std::optional<Image> X11WindowCapture::takePixels(PendingPixels& asked, std::optional<xcb_visualid_t> visual,
                                                  const std::function<void()>& grabbed) {
  xcb_connection_t* c = x_->xcb();
  const int width = asked.area.width;
  const int height = asked.area.height;
  if (asked.shared) {
    const bool attached = segment_->attached();
    const auto reply = replyTo(c, asked.throughSegment, xcb_shm_get_image_reply);
    if (!attached) {
      // The server cannot share memory with us: the pixels go over the socket from now on.
      sharedMemory_ = SharedMemory::unusable;
      segment_.reset();
      asked = askPixels(asked.drawable, asked.area);
    } else if (!reply) {
      return std::nullopt;  // the window went away meanwhile
    } else {
      if (grabbed) {
        grabbed();
      }
      return convertedPixels(reply->depth, visual.value_or(reply->visual), segment_->bytes(reply->size),
                             width, height);
    }
  }
  const auto reply = replyTo(c, asked.overSocket, xcb_get_image_reply);
  if (!reply) {
    return std::nullopt;
  }
  if (grabbed) {
    grabbed();
  }
  const std::span<const std::uint8_t> bytes(xcb_get_image_data(reply.get()),
                                            static_cast<std::size_t>(xcb_get_image_data_length(reply.get())));
  return convertedPixels(reply->depth, visual.value_or(reply->visual), bytes, width, height);
}

// Pixels of 32 bits each in the visual's layout, rows padded as the server's format for `depth`
// says; a depth-32 window's top byte is alpha.
std::optional<Image> X11WindowCapture::convertedPixels(std::uint8_t depth, xcb_visualid_t visualID,
                                                       std::span<const std::uint8_t> bytes, int width,
                                                       int height) {
  const xcb_setup_t* setup = xcb_get_setup(x_->xcb());
  const xcb_format_t* format = nullptr;
  for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem > 0; xcb_format_next(&it)) {
    format = it.data->depth == depth ? it.data : format;
  }
  const xcb_visualtype_t* visual = nullptr;
  for (auto screen = xcb_setup_roots_iterator(setup); screen.rem > 0; xcb_screen_next(&screen)) {
    for (auto d = xcb_screen_allowed_depths_iterator(screen.data); d.rem > 0; xcb_depth_next(&d)) {
      for (auto v = xcb_depth_visuals_iterator(d.data); v.rem > 0; xcb_visualtype_next(&v)) {
        visual = v.data->visual_id == visualID ? v.data : visual;
      }
    }
  }
  if (format == nullptr || visual == nullptr || format->bits_per_pixel != 32) {
    return std::nullopt;
  }
  const int pad = format->scanline_pad;
  const int bytesPerLine = (width * 32 + pad - 1) / pad * pad / 8;
  if (bytes.size() < static_cast<std::size_t>(bytesPerLine) * static_cast<std::size_t>(height)) {
    return std::nullopt;
  }
  const XPixelFormat layout{visual->red_mask, visual->green_mask, visual->blue_mask, depth == 32,
                            setup->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST};
  auto image = imageFromXPixels(bytes, width, height, bytesPerLine, layout);
  if (image.rgba.empty()) {
    return std::nullopt;
  }
  return image;
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
  auto asked =
      askPixels(static_cast<xcb_drawable_t>(pixmap), {offsetX, offsetY, attributes.width, attributes.height});
  auto image =
      takePixels(asked, static_cast<xcb_visualid_t>(XVisualIDFromVisual(attributes.visual)), grabbed);
  XFreePixmap(x_->display(), pixmap);
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
  auto pixelsAsked = askPixels(root, {left, top, right - left, bottom - top});
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
  auto visible = takePixels(pixelsAsked, std::nullopt, grabbed);
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
