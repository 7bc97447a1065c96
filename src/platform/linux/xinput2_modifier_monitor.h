#pragma once

// The modifier monitor on X11: XInput 2 raw key and button events from the root window. Raw
// events reach every client that asks, without a grab, so the keys still reach the application
// they were meant for. The connection is private and read on the Qt event loop.
//
// Synthetic input: xdotool and other tools type through the XTest devices, and their keys count
// like the user's. Wrenfold's own keys (the paste chord) go through `runOwnSyntheticInput`, and
// the XTest events they cause are not reported.

#include <array>
#include <bitset>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>

#include "core/platform/modifier_monitor.h"
#include "platform/linux/x11_connection.h"
#include "platform/linux/x11_key_mapping.h"

class QSocketNotifier;

namespace wrenfold {

// Turns raw key and button events into monitor events: which modifiers are held (a key repeated
// or released twice changes nothing), and presses of anything else.
class RawInputTracker {
 public:
  void setKeyRoles(const std::array<ModifierKeyRole, 256>& roles) { roles_ = roles; }
  // The XTest devices; their events are dropped while `ignoringSynthetic` is set.
  void setSyntheticDevices(std::set<int> devices) { syntheticDevices_ = std::move(devices); }
  void setIgnoringSynthetic(bool ignoring) { ignoringSynthetic_ = ignoring; }

  [[nodiscard]] std::optional<ModifierEvent> keyPressed(int keycode, int device);
  [[nodiscard]] std::optional<ModifierEvent> keyReleased(int keycode, int device);
  [[nodiscard]] std::optional<ModifierEvent> buttonPressed(int device);
  void reset() { held_.reset(); }

 private:
  [[nodiscard]] bool ignored(int device) const;
  [[nodiscard]] ModifierKeyRole roleOf(int keycode) const;
  [[nodiscard]] unsigned heldModifiers() const;

  std::array<ModifierKeyRole, 256> roles_{};
  std::bitset<256> held_;
  std::set<int> syntheticDevices_;
  bool ignoringSynthetic_ = false;
};

class XInput2ModifierMonitor final : public ModifierMonitor {
 public:
  // Null `connection`, or a server without XInput 2.1: `start` fails.
  explicit XInput2ModifierMonitor(std::unique_ptr<X11Connection> connection);
  ~XInput2ModifierMonitor() override;

  // Needs the Qt application object (the connection is read on its loop).
  [[nodiscard]] bool start(Handler handler) override;
  void stop() override;

  // Runs `inject`, which sends Wrenfold's own synthetic keys, so that none of the XTest events it
  // causes is reported. Events before it are reported first. Main thread only.
  void runOwnSyntheticInput(const std::function<void()>& inject);

 private:
  [[nodiscard]] bool select(bool on);
  void loadKeyboard();
  void loadDevices();
  void readEvents();
  void handleGeneric(XEvent& event);
  void report(const std::optional<ModifierEvent>& event);
  // A raw event's server time, counted on past the 32-bit wrap.
  [[nodiscard]] std::chrono::milliseconds serverTime(unsigned long time);

  std::unique_ptr<X11Connection> x_;
  int xinputOpcode_ = 0;
  bool hasRawEvents_ = false;
  bool running_ = false;
  std::uint32_t lastServerTime_ = 0;
  std::int64_t serverTimeWraps_ = 0;
  Handler handler_;
  RawInputTracker tracker_;
  std::set<int> masterDevices_;
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace wrenfold
