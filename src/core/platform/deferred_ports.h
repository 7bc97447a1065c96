#pragma once

// Ports whose back-end is chosen after launch: under Wayland the desktop's portals say what they
// offer only once they have answered, and the launch (tray, single-instance socket) does not
// wait for that. Main thread only.

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>

#include "core/platform/global_hot_keys.h"
#include "core/platform/key_events.h"
#include "core/platform/main_queue.h"

namespace wrenfold {

// Until a back-end is chosen, chords and readiness requests wait, each at most `bound`, and are
// then refused: nothing is typed through a path that may turn out to be the wrong one.
class DeferredKeyEvents final : public KeyEvents {
 public:
  DeferredKeyEvents(MainQueue& queue, std::chrono::milliseconds bound);
  ~DeferredKeyEvents() override;

  // The back-end from now on; what waits goes to it, in order. A later call replaces it.
  void choose(std::unique_ptr<KeyEvents> inner);
  [[nodiscard]] bool chosen() const { return inner_ != nullptr; }

  // "retry" until chosen.
  [[nodiscard]] KeyPostResult post(const KeyChord& chord) override;
  void postThen(const KeyChord& chord, PostHandler done) override;
  void whenReady(ReadyHandler ready) override;

 private:
  struct Waiting {
    std::uint64_t id;
    std::optional<KeyChord> chord;  // absent: a readiness request
    PostHandler posted;
    ReadyHandler ready;
  };
  void wait(Waiting waiting);
  void expire(std::uint64_t id);

  MainQueue& queue_;
  std::chrono::milliseconds bound_;
  std::unique_ptr<KeyEvents> inner_;
  std::deque<Waiting> waiting_;
  std::uint64_t nextID_ = 0;
  std::shared_ptr<DeferredKeyEvents*> self_ = std::make_shared<DeferredKeyEvents*>(this);
};

// Until a back-end is chosen, registrations are accepted and only kept; the owner registers its
// shortcuts again once it has chosen, so failures then reach it (ShortcutRegistry::reregister).
class DeferredGlobalHotKeys final : public GlobalHotKeys {
 public:
  // The back-end from now on; it gets the handlers set so far.
  void choose(std::shared_ptr<GlobalHotKeys> inner);
  [[nodiscard]] const GlobalHotKeys* chosen() const { return inner_.get(); }

  void setHandler(Handler handler) override;
  [[nodiscard]] Result<void> registerHotKey(std::uint32_t id, const Shortcut& shortcut) override;
  void unregisterHotKey(std::uint32_t id) override;
  [[nodiscard]] bool isTakenByAnotherApplication(const Shortcut& shortcut) override;
  [[nodiscard]] std::optional<Shortcut> shortcutForNativeKey(std::uint32_t nativeKeyCode,
                                                             std::uint32_t nativeModifiers) const override;
  void setUnregisteredTriggerHandler(std::function<void()> handler) override;
  [[nodiscard]] std::optional<DesktopShortcutBinding> desktopBinding() const override;

 private:
  std::shared_ptr<GlobalHotKeys> inner_;
  Handler handler_;
  std::function<void()> unregisteredHandler_;
};

}  // namespace wrenfold
