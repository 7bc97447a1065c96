// Qt before Xlib: Xlib's macros (Bool, Status, KeyPress) break Qt's headers.
#include <QCoreApplication>
#include <QSocketNotifier>

#include "platform/linux/xinput2_modifier_monitor.h"

#include <X11/extensions/XInput2.h>

#include <string_view>
#include <vector>

#include "core/platform/key_events.h"

namespace wrenfold {
namespace {

// XI 2.1 is the first version that sends raw events to every client, not only to the one that
// grabbed the device.
constexpr int kNeededMinor = 1;

unsigned flagOf(ModifierKeyRole role) {
  switch (role) {
    case ModifierKeyRole::alt:
      return static_cast<unsigned>(KeyModifier::alt);
    case ModifierKeyRole::control:
      return static_cast<unsigned>(KeyModifier::control);
    case ModifierKeyRole::shift:
      return static_cast<unsigned>(KeyModifier::shift);
    case ModifierKeyRole::super:
      return static_cast<unsigned>(KeyModifier::super);
    case ModifierKeyRole::none:
      break;
  }
  return 0;
}

void setMaskBit(std::vector<unsigned char>& mask, int event) {
  mask[static_cast<std::size_t>(event >> 3)] |= static_cast<unsigned char>(1U << (event & 7));
}

bool isXTestDevice(std::string_view name) {
  // The server names them "<master> XTEST keyboard" and "<master> XTEST pointer".
  return name.ends_with(" XTEST keyboard") || name.ends_with(" XTEST pointer");
}

}  // namespace

// --- RawInputTracker

bool RawInputTracker::ignored(int device) const {
  return ignoringSynthetic_ && syntheticDevices_.contains(device);
}

ModifierKeyRole RawInputTracker::roleOf(int keycode) const {
  return keycode >= 0 && keycode < 256 ? roles_[static_cast<std::size_t>(keycode)] : ModifierKeyRole::none;
}

unsigned RawInputTracker::heldModifiers() const {
  unsigned flags = 0;
  for (std::size_t code = 0; code < held_.size(); ++code) {
    if (held_.test(code)) {
      flags |= flagOf(roles_[code]);
    }
  }
  return flags;
}

std::optional<ModifierEvent> RawInputTracker::keyPressed(int keycode, int device) {
  if (ignored(device)) {
    return std::nullopt;
  }
  if (roleOf(keycode) == ModifierKeyRole::none) {
    return ModifierEvent{ModifierEvent::Kind::otherInput, heldModifiers(), std::nullopt};
  }
  const auto code = static_cast<std::size_t>(keycode);
  if (held_.test(code)) {
    return std::nullopt;  // repeated by the keyboard
  }
  const unsigned before = heldModifiers();
  held_.set(code);
  const unsigned after = heldModifiers();
  return after == before
             ? std::nullopt
             : std::optional(ModifierEvent{ModifierEvent::Kind::modifiersChanged, after, std::nullopt});
}

std::optional<ModifierEvent> RawInputTracker::keyReleased(int keycode, int device) {
  if (ignored(device) || roleOf(keycode) == ModifierKeyRole::none ||
      !held_.test(static_cast<std::size_t>(keycode))) {
    return std::nullopt;
  }
  const unsigned before = heldModifiers();
  held_.reset(static_cast<std::size_t>(keycode));
  const unsigned after = heldModifiers();
  return after == before
             ? std::nullopt
             : std::optional(ModifierEvent{ModifierEvent::Kind::modifiersChanged, after, std::nullopt});
}

std::optional<ModifierEvent> RawInputTracker::buttonPressed(int device) {
  if (ignored(device)) {
    return std::nullopt;
  }
  return ModifierEvent{ModifierEvent::Kind::otherInput, heldModifiers(), std::nullopt};
}

// --- XInput2ModifierMonitor

XInput2ModifierMonitor::XInput2ModifierMonitor(std::unique_ptr<X11Connection> connection)
    : x_(std::move(connection)) {
  if (!x_) {
    return;
  }
  int event = 0;
  int error = 0;
  if (XQueryExtension(x_->display(), "XInputExtension", &xinputOpcode_, &event, &error) == False) {
    return;
  }
  int major = 2;
  int minor = 2;
  hasRawEvents_ = XIQueryVersion(x_->display(), &major, &minor) == Success &&
                  (major > 2 || (major == 2 && minor >= kNeededMinor));
}

XInput2ModifierMonitor::~XInput2ModifierMonitor() {
  stop();
}

bool XInput2ModifierMonitor::start(Handler handler) {
  if (!hasRawEvents_ || QCoreApplication::instance() == nullptr) {
    return false;
  }
  handler_ = std::move(handler);
  if (running_) {
    return true;
  }
  loadKeyboard();
  loadDevices();
  if (!select(true)) {
    return false;
  }
  notifier_ = std::make_unique<QSocketNotifier>(XConnectionNumber(x_->display()), QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] { readEvents(); });
  running_ = true;
  return true;
}

void XInput2ModifierMonitor::stop() {
  handler_ = nullptr;
  if (!running_) {
    return;
  }
  running_ = false;
  notifier_.reset();
  static_cast<void>(select(false));
  XSync(x_->display(), True);  // drop what was already sent
  tracker_.reset();
}

void XInput2ModifierMonitor::runOwnSyntheticInput(const std::function<void()>& inject) {
  if (!running_) {
    inject();
    return;
  }
  XSync(x_->display(), False);
  readEvents();
  tracker_.setIgnoringSynthetic(true);
  inject();
  // The injection ended with a round trip of its own, so the server has turned the XTest
  // requests into input and queued the raw events for us ahead of this round trip's reply.
  XSync(x_->display(), False);
  readEvents();
  tracker_.setIgnoringSynthetic(false);
}

bool XInput2ModifierMonitor::select(bool on) {
  std::vector<unsigned char> rawMask(XIMaskLen(XI_LASTEVENT), 0);
  std::vector<unsigned char> hierarchyMask(XIMaskLen(XI_LASTEVENT), 0);
  if (on) {
    // Slave devices, so each event names the physical or XTest device it came from.
    setMaskBit(rawMask, XI_RawKeyPress);
    setMaskBit(rawMask, XI_RawKeyRelease);
    setMaskBit(rawMask, XI_RawButtonPress);
    setMaskBit(hierarchyMask, XI_HierarchyChanged);
  }
  // XI_HierarchyChanged may only be selected on XIAllDevices, alongside the raw events there.
  for (std::size_t i = 0; i < rawMask.size(); ++i) {
    rawMask[i] |= hierarchyMask[i];
  }
  XIEventMask mask{XIAllDevices, static_cast<int>(rawMask.size()), rawMask.data()};
  X11Connection::ErrorTrap trap(*x_);
  XISelectEvents(x_->display(), x_->root(), &mask, 1);
  return trap.succeeded();
}

void XInput2ModifierMonitor::loadKeyboard() {
  tracker_.setKeyRoles(readModifierKeyRoles(x_->display()));
}

void XInput2ModifierMonitor::loadDevices() {
  int count = 0;
  XIDeviceInfo* devices = XIQueryDevice(x_->display(), XIAllDevices, &count);
  std::set<int> synthetic;
  masterDevices_.clear();
  for (int i = 0; i < count; ++i) {
    const XIDeviceInfo& device = devices[i];
    if (device.use == XIMasterKeyboard || device.use == XIMasterPointer) {
      masterDevices_.insert(device.deviceid);
    } else if (device.name != nullptr && isXTestDevice(device.name)) {
      synthetic.insert(device.deviceid);
    }
  }
  if (devices != nullptr) {
    XIFreeDeviceInfo(devices);
  }
  tracker_.setSyntheticDevices(std::move(synthetic));
}

void XInput2ModifierMonitor::readEvents() {
  Display* display = x_->display();
  while (running_ && XPending(display) > 0) {
    XEvent event;
    XNextEvent(display, &event);
    if (event.type == MappingNotify) {
      XRefreshKeyboardMapping(&event.xmapping);
      loadKeyboard();
    } else if (event.type == GenericEvent && event.xcookie.extension == xinputOpcode_) {
      handleGeneric(event);
    }
  }
}

void XInput2ModifierMonitor::handleGeneric(XEvent& event) {
  if (XGetEventData(x_->display(), &event.xcookie) == False) {
    return;
  }
  if (event.xcookie.evtype == XI_HierarchyChanged) {
    loadDevices();
  } else {
    const auto* raw = static_cast<const XIRawEvent*>(event.xcookie.data);
    // Every key also comes through its master device: count it once, from the slave.
    if (!masterDevices_.contains(raw->deviceid)) {
      std::optional<ModifierEvent> seen;
      switch (raw->evtype) {
        case XI_RawKeyPress:
          seen = tracker_.keyPressed(raw->detail, raw->deviceid);
          break;
        case XI_RawKeyRelease:
          seen = tracker_.keyReleased(raw->detail, raw->deviceid);
          break;
        case XI_RawButtonPress:
          seen = tracker_.buttonPressed(raw->deviceid);
          break;
        default:
          break;
      }
      if (seen) {
        seen->time = serverTime(raw->time);
        report(seen);
      }
    }
  }
  XFreeEventData(x_->display(), &event.xcookie);
}

std::chrono::milliseconds XInput2ModifierMonitor::serverTime(unsigned long time) {
  // The server counts milliseconds in 32 bits and wraps after about 49 days: keep counting.
  const auto now = static_cast<std::uint32_t>(time);
  if (now < lastServerTime_ && lastServerTime_ - now > 0x8000'0000u) {
    ++serverTimeWraps_;
  }
  lastServerTime_ = now;
  return std::chrono::milliseconds((serverTimeWraps_ << 32) | now);
}

void XInput2ModifierMonitor::report(const std::optional<ModifierEvent>& event) {
  if (event && handler_) {
    handler_(*event);
  }
}

}  // namespace wrenfold
