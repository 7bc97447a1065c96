#include "platform/linux/x11_clipboard_reader.h"

#include <X11/Xatom.h>
#include <poll.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/linux/x11_connection.h"

namespace wrenfold {
namespace {

using Clock = std::chrono::steady_clock;

bool isImage(std::string_view type) {
  return type.starts_with("image/");
}

struct XFreeData {
  void operator()(unsigned char* data) const { XFree(data); }
};

// One property read: its type, format and items, and what is left after them.
struct PropertyReply {
  Atom type = None;
  int format = 0;
  unsigned long items = 0;
  unsigned long after = 0;
  std::unique_ptr<unsigned char, XFreeData> data;
};

// One conversion at a time on a window of our own; each target lands in its own property, so a
// transfer given up on cannot spill into the next one.
class SelectionTransfer {
 public:
  SelectionTransfer(X11Connection& connection, const ClipboardCaps& caps)
      : x_(connection),
        display_(connection.display()),
        caps_(caps),
        end_(Clock::now() + caps.totalTimeout),
        clipboard_(connection.atom("CLIPBOARD")),
        incr_(connection.atom("INCR")) {
    XSetWindowAttributes attributes{};
    attributes.event_mask = PropertyChangeMask;
    window_ = XCreateWindow(display_, connection.root(), 0, 0, 1, 1, 0, CopyFromParent, InputOnly,
                            CopyFromParent, CWEventMask, &attributes);
  }
  ~SelectionTransfer() {
    XDestroyWindow(display_, window_);
    XFlush(display_);
  }
  SelectionTransfer(const SelectionTransfer&) = delete;
  SelectionTransfer& operator=(const SelectionTransfer&) = delete;

  [[nodiscard]] bool owned() { return XGetSelectionOwner(display_, clipboard_) != None; }

  // The names of the targets the owner offers; absent when it did not answer in time.
  std::optional<std::vector<std::string>> targets() {
    Atom property = None;
    const auto answer = convert("TARGETS", property);
    if (answer == Answer::stalled) {
      return std::nullopt;
    }
    std::vector<std::string> names;
    if (answer == Answer::refused) {
      return names;
    }
    const auto reply = read(property, 4096, XA_ATOM);
    if (!reply || !reply->data) {
      return names;
    }
    const auto* first = reinterpret_cast<const Atom*>(reply->data.get());
    std::vector<Atom> atoms(first, first + reply->items);
    std::vector<char*> raw(atoms.size(), nullptr);
    X11Connection::ErrorTrap trap(x_);
    if (!atoms.empty() &&
        XGetAtomNames(display_, atoms.data(), static_cast<int>(atoms.size()), raw.data()) != 0) {
      for (char* name : raw) {
        names.emplace_back(name);
        XFree(name);
      }
    }
    static_cast<void>(trap.succeeded());
    return names;
  }

  // The property the owner stored `target` in; absent when it refused or did not answer.
  enum class Answer { stored, refused, stalled };
  Answer convert(const char* target, Atom& property) {
    property = x_.atom(("WRENFOLD_CLIP_" + std::to_string(conversions_++)).c_str());
    XConvertSelection(display_, clipboard_, x_.atom(target), property, window_, CurrentTime);
    XEvent event{};
    if (!waitFor(event, [&](const XEvent& e) { return e.type == SelectionNotify; })) {
      return Answer::stalled;
    }
    return event.xselection.property == None ? Answer::refused : Answer::stored;
  }

  // The bytes stored under `property`, when they fit beside `taken`; absent when over the caps
  // (checked before the transfer) or when an incremental transfer stalls.
  std::optional<std::vector<std::uint8_t>> take(Atom property, std::size_t taken, bool& stalled) {
    // The first item only, kept in place: the size is known before anything large is moved.
    const auto head = read(property, 1, AnyPropertyType, false);
    if (!head) {
      return std::nullopt;
    }
    std::size_t announced = 0;
    if (head->type == incr_ && head->format == 32 && head->items == 1 && head->data) {
      announced = static_cast<std::size_t>(*reinterpret_cast<const unsigned long*>(head->data.get()));
    }
    if (head->type != incr_) {
      const std::size_t size = head->after + head->items * static_cast<std::size_t>(head->format / 8);
      if (!fitsClipboardCaps(caps_, size, taken)) {
        return std::nullopt;  // left in the property; the window goes with it
      }
      return readAll(property);
    }
    // Incremental: the owner starts sending once the property is deleted. One too large to keep
    // is never started. Its size is a lower bound, so the total is checked again as it grows.
    if (!fitsClipboardCaps(caps_, announced, taken)) {
      return std::nullopt;
    }
    XDeleteProperty(display_, window_, property);
    std::vector<std::uint8_t> bytes;
    for (;;) {
      XEvent event{};
      const bool arrived = waitFor(event, [&](const XEvent& e) {
        return e.type == PropertyNotify && e.xproperty.atom == property &&
               e.xproperty.state == PropertyNewValue;
      });
      if (!arrived) {
        stalled = true;
        return std::nullopt;
      }
      const auto chunk = readAll(property);
      if (!chunk) {
        return std::nullopt;
      }
      if (chunk->empty()) {
        return bytes;
      }
      bytes.insert(bytes.end(), chunk->begin(), chunk->end());
      if (!fitsClipboardCaps(caps_, bytes.size(), taken)) {
        return std::nullopt;
      }
    }
  }

 private:
  // `length` is in 32-bit units. Deleted once read when `remove`.
  std::optional<PropertyReply> read(Atom property, long length, Atom type, bool remove = true) {
    PropertyReply reply;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display_, window_, property, 0, length, remove ? True : False, type, &reply.type,
                           &reply.format, &reply.items, &reply.after, &data) != Success) {
      return std::nullopt;
    }
    reply.data.reset(data);
    return reply;
  }

  std::optional<std::vector<std::uint8_t>> readAll(Atom property) {
    // Asking for all of it reads the property in one reply.
    const auto reply = read(property, static_cast<long>(caps_.maxBytesPerFormat / 4 + 1), AnyPropertyType);
    if (!reply) {
      return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    if (reply->data) {
      // Xlib hands 32-bit items as longs; formats of 8 bits are what clipboard data uses.
      const std::size_t unit = reply->format == 16 ? sizeof(short) : reply->format == 32 ? sizeof(long) : 1;
      bytes.assign(reply->data.get(), reply->data.get() + reply->items * unit);
    }
    return bytes;
  }

  // Each answer has its own deadline within the whole read's.
  template <typename Match>
  bool waitFor(XEvent& event, Match match) {
    XFlush(display_);
    const auto limit = std::min(end_, Clock::now() + caps_.answerTimeout);
    for (;;) {
      while (XPending(display_) > 0) {
        XNextEvent(display_, &event);
        if (event.xany.window == window_ && match(event)) {
          return true;
        }
      }
      const auto now = Clock::now();
      if (now >= limit) {
        return false;
      }
      pollfd descriptor{ConnectionNumber(display_), POLLIN, 0};
      const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(limit - now).count();
      if (::poll(&descriptor, 1, static_cast<int>(wait) + 1) <= 0) {
        return false;
      }
    }
  }

  X11Connection& x_;
  Display* display_;
  const ClipboardCaps& caps_;
  Clock::time_point end_;
  Atom clipboard_;
  Atom incr_;
  Window window_ = 0;
  int conversions_ = 0;
};

}  // namespace

std::vector<std::string> clipboardTypesToFetch(const std::vector<std::string>& offered,
                                               std::size_t maxFormats) {
  std::vector<std::string> chosen;
  std::vector<std::string> images;
  for (const auto& type : offered) {
    const bool real = type.find('/') != std::string::npos || type == kPasswordManagerHintType;
    if (!real || std::find(chosen.begin(), chosen.end(), type) != chosen.end() ||
        std::find(images.begin(), images.end(), type) != images.end()) {
      continue;
    }
    (isImage(type) ? images : chosen).push_back(type);
  }
  // Every image format is the same picture converted by the owner: one is enough, and PNG is
  // lossless.
  if (!images.empty()) {
    const auto png = std::find(images.begin(), images.end(), "image/png");
    chosen.push_back(png != images.end() ? *png : images.front());
  }
  if (chosen.size() > maxFormats) {
    chosen.resize(maxFormats);
  }
  return chosen;
}

bool fitsClipboardCaps(const ClipboardCaps& caps, std::size_t size, std::size_t taken) {
  return size <= caps.maxBytesPerFormat && taken + size <= caps.maxTotalBytes;
}

std::optional<std::vector<PasteboardItem>> readX11Clipboard(const ClipboardCaps& caps) {
  const auto connection = X11Connection::open();
  if (connection == nullptr) {
    return std::nullopt;
  }
  SelectionTransfer transfer(*connection, caps);
  if (!transfer.owned()) {
    return std::vector<PasteboardItem>{};
  }
  const auto offered = transfer.targets();
  if (!offered) {
    return std::nullopt;
  }
  PasteboardItem item;
  std::size_t taken = 0;
  for (const auto& type : clipboardTypesToFetch(*offered, caps.maxFormats)) {
    Atom property = None;
    const auto answer = transfer.convert(type.c_str(), property);
    if (answer == SelectionTransfer::Answer::stalled) {
      break;
    }
    bool stalled = false;
    auto bytes =
        answer == SelectionTransfer::Answer::stored ? transfer.take(property, taken, stalled) : std::nullopt;
    if (bytes) {
      taken += bytes->size();
      item.representations.emplace_back(type, std::move(*bytes));
    }
    if (stalled) {
      break;
    }
  }
  // An owner that stalled before giving anything: what it holds is unknown, not empty.
  if (item.representations.empty()) {
    return offered->empty() ? std::optional(std::vector<PasteboardItem>{}) : std::nullopt;
  }
  return std::vector<PasteboardItem>{std::move(item)};
}

}  // namespace wrenfold
