#include "platform/linux/focus_tracker.h"

#include <cstddef>
#include <string_view>

namespace wrenfold {
namespace {

constexpr std::string_view kFocusEvent = "object:state-changed:focused";
constexpr std::string_view kActivateEvent = "window:activate";
constexpr std::size_t kEarlierKept = 6;

}  // namespace

FocusTracker::FocusTracker() : listener_(atspi_event_listener_new(&FocusTracker::onEvent, this, nullptr)) {
  GErrorSlot focusError;
  GErrorSlot activateError;
  listening_ =
      atspi_event_listener_register(listener_.get(), kFocusEvent.data(), focusError.out()) != FALSE &&
      atspi_event_listener_register(listener_.get(), kActivateEvent.data(), activateError.out()) != FALSE;
}

FocusTracker::~FocusTracker() {
  GErrorSlot focusError;
  GErrorSlot activateError;
  static_cast<void>(atspi_event_listener_deregister(listener_.get(), kFocusEvent.data(), focusError.out()));
  static_cast<void>(
      atspi_event_listener_deregister(listener_.get(), kActivateEvent.data(), activateError.out()));
}

void FocusTracker::onEvent(AtspiEvent* event, void* self) {
  if (event == nullptr) {
    return;
  }
  static_cast<FocusTracker*>(self)->handle(*event);
  g_boxed_free(atspi_event_get_type(), event);  // the callback owns the event
}

void FocusTracker::handle(const AtspiEvent& event) {
  if (event.source == nullptr || event.type == nullptr) {
    return;
  }
  const std::string_view type(event.type);
  if (type == kActivateEvent) {
    lastWindow_ = retained(event.source);
    return;
  }
  // No round trip here: an application that hangs must not stall event dispatch.
  if (type.starts_with(kFocusEvent) && event.detail1 == 1 && event.source != lastFocused_.get()) {
    if (lastFocused_) {
      earlier_.push_front(std::move(lastFocused_));
      if (earlier_.size() > kEarlierKept) {
        earlier_.pop_back();
      }
    }
    lastFocused_ = retained(event.source);
  }
}

}  // namespace wrenfold
