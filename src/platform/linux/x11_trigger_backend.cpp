// Qt before Xlib: Xlib's macros (Bool, Status, KeyPress) break Qt's headers.
#include <QSocketNotifier>

#include "platform/linux/x11_trigger_backend.h"

#include "platform/linux/x11_global_hot_keys.h"
#include "platform/linux/xinput2_modifier_monitor.h"

namespace wrenfold {
namespace {

// Posts each chord through the monitor, which then ignores the XTest events it causes.
class OwnKeyEvents final : public KeyEvents {
 public:
  OwnKeyEvents(KeyEvents& inner, XInput2ModifierMonitor& monitor) : inner_(inner), monitor_(monitor) {}

  [[nodiscard]] KeyPostResult post(const KeyChord& chord) override {
    auto result = KeyPostResult::failed;
    monitor_.runOwnSyntheticInput([&] { result = inner_.post(chord); });
    return result;
  }

 private:
  KeyEvents& inner_;
  XInput2ModifierMonitor& monitor_;
};

}  // namespace

X11TriggerBackend::X11TriggerBackend()
    : monitor_(std::make_unique<XInput2ModifierMonitor>(X11Connection::open())),
      hotKeys_(std::make_unique<X11GlobalHotKeys>(X11Connection::open())) {}

X11TriggerBackend::~X11TriggerBackend() = default;

ModifierMonitor& X11TriggerBackend::modifierMonitor() {
  return *monitor_;
}

GlobalHotKeys& X11TriggerBackend::globalHotKeys() {
  return *hotKeys_;
}

std::unique_ptr<KeyEvents> X11TriggerBackend::ownKeyEvents(KeyEvents& inner) {
  return std::make_unique<OwnKeyEvents>(inner, *monitor_);
}

}  // namespace wrenfold
