#include "core/platform/deferred_ports.h"

#include <algorithm>
#include <utility>

namespace wrenfold {

DeferredKeyEvents::DeferredKeyEvents(MainQueue& queue, std::chrono::milliseconds bound)
    : queue_(queue), bound_(bound) {}

DeferredKeyEvents::~DeferredKeyEvents() {
  *self_ = nullptr;
}

void DeferredKeyEvents::choose(std::unique_ptr<KeyEvents> inner) {
  inner_ = std::move(inner);
  // Handed over in order; a handler may post again, which then goes straight to the back-end.
  auto waiting = std::exchange(waiting_, {});
  for (auto& item : waiting) {
    if (item.chord) {
      inner_->postThen(*item.chord, std::move(item.posted));
    } else {
      inner_->whenReady(std::move(item.ready));
    }
  }
}

KeyPostResult DeferredKeyEvents::post(const KeyChord& chord) {
  return inner_ ? inner_->post(chord) : KeyPostResult::retry;
}

void DeferredKeyEvents::postThen(const KeyChord& chord, PostHandler done) {
  if (inner_) {
    inner_->postThen(chord, std::move(done));
  } else {
    wait({0, chord, std::move(done), nullptr});
  }
}

void DeferredKeyEvents::whenReady(ReadyHandler ready) {
  if (inner_) {
    inner_->whenReady(std::move(ready));
  } else {
    wait({0, std::nullopt, nullptr, std::move(ready)});
  }
}

void DeferredKeyEvents::wait(Waiting waiting) {
  waiting.id = ++nextID_;
  const auto id = waiting.id;
  waiting_.push_back(std::move(waiting));
  queue_.postAfter(bound_, [weak = std::weak_ptr<DeferredKeyEvents*>(self_), id] {
    if (const auto self = weak.lock(); self && *self) {
      (*self)->expire(id);
    }
  });
}

void DeferredKeyEvents::expire(std::uint64_t id) {
  const auto found =
      std::find_if(waiting_.begin(), waiting_.end(), [id](const Waiting& w) { return w.id == id; });
  if (found == waiting_.end()) {
    return;
  }
  Waiting item = std::move(*found);
  waiting_.erase(found);
  if (item.chord) {
    item.posted(KeyPostResult::failed);
  } else {
    item.ready(false);
  }
}

void DeferredGlobalHotKeys::choose(std::shared_ptr<GlobalHotKeys> inner) {
  inner_ = std::move(inner);
  inner_->setHandler(handler_);
  inner_->setUnregisteredTriggerHandler(unregisteredHandler_);
}

void DeferredGlobalHotKeys::setHandler(Handler handler) {
  handler_ = std::move(handler);
  if (inner_) {
    inner_->setHandler(handler_);
  }
}

Result<void> DeferredGlobalHotKeys::registerHotKey(std::uint32_t id, const Shortcut& shortcut) {
  return inner_ ? inner_->registerHotKey(id, shortcut) : Result<void>{};
}

void DeferredGlobalHotKeys::unregisterHotKey(std::uint32_t id) {
  if (inner_) {
    inner_->unregisterHotKey(id);
  }
}

bool DeferredGlobalHotKeys::isTakenByAnotherApplication(const Shortcut& shortcut) {
  return inner_ && inner_->isTakenByAnotherApplication(shortcut);
}

std::optional<Shortcut> DeferredGlobalHotKeys::shortcutForNativeKey(std::uint32_t nativeKeyCode,
                                                                    std::uint32_t nativeModifiers) const {
  return inner_ ? inner_->shortcutForNativeKey(nativeKeyCode, nativeModifiers) : std::nullopt;
}

void DeferredGlobalHotKeys::setUnregisteredTriggerHandler(std::function<void()> handler) {
  unregisteredHandler_ = std::move(handler);
  if (inner_) {
    inner_->setUnregisteredTriggerHandler(unregisteredHandler_);
  }
}

std::optional<DesktopShortcutBinding> DeferredGlobalHotKeys::desktopBinding() const {
  return inner_ ? inner_->desktopBinding() : std::nullopt;
}

}  // namespace wrenfold
