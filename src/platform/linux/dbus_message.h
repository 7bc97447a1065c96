#pragma once

// Ownership of the libdbus messages and pending calls the back-end makes itself, where libatspi
// offers no call (a whole tree, a batch of questions).

#include <dbus/dbus.h>

#include <memory>

namespace wrenfold {

struct DBusMessageUnref {
  void operator()(DBusMessage* message) const { dbus_message_unref(message); }
};
using MessagePtr = std::unique_ptr<DBusMessage, DBusMessageUnref>;

struct DBusPendingUnref {
  void operator()(DBusPendingCall* pending) const { dbus_pending_call_unref(pending); }
};
using PendingPtr = std::unique_ptr<DBusPendingCall, DBusPendingUnref>;

}  // namespace wrenfold
