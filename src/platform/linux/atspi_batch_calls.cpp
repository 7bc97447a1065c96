// The batched calls of AtspiCalls: many elements' questions sent before the first answer is
// awaited. Each separate round trip waits for the program to be scheduled again, and on a busy
// machine that wait, not the program's work, is what a walk of a few hundred elements costs.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/linux/atspi_calls.h"
#include "platform/linux/atspi_tree_fetch.h"
#include "platform/linux/dbus_message.h"

namespace wrenfold {
namespace {

using std::chrono::steady_clock;

constexpr const char* kAccessibleInterface = "org.a11y.atspi.Accessible";
constexpr const char* kPropertiesInterface = "org.freedesktop.DBus.Properties";
constexpr std::string_view kNullPath = "/org/a11y/atspi/null";

const char* objectPath(AtspiAccessible* object) {
  return reinterpret_cast<const AtspiObject*>(object)->path;
}

// The calls of one batch, all to one application: sent as they are added, awaited together.
class Batch {
 public:
  Batch(DBusConnection* bus, std::string busName, std::chrono::milliseconds timeout)
      : bus_(bus), busName_(std::move(busName)), timeout_(timeout) {}

  // Sends the call `message` was made for; its answer is the index returned.
  std::size_t send(MessagePtr message) {
    DBusPendingCall* pending = nullptr;
    if (message && dbus_connection_send_with_reply(bus_, message.get(), &pending,
                                                   static_cast<int>(timeout_.count())) == FALSE) {
      pending = nullptr;
    }
    pending_.emplace_back(pending);
    return pending_.size() - 1;
  }

  MessagePtr call(const char* path, const char* interface, const char* method) const {
    return MessagePtr(dbus_message_new_method_call(busName_.c_str(), path, interface, method));
  }

  // Every answer, in the order sent; null where none came in time. `answered` tells whether any
  // call was answered at all, an error being an answer too.
  std::vector<MessagePtr> await(bool& answered) {
    dbus_connection_flush(bus_);
    std::vector<MessagePtr> replies;
    replies.reserve(pending_.size());
    answered = false;
    for (auto& pending : pending_) {
      MessagePtr reply;
      if (pending) {
        dbus_pending_call_block(pending.get());
        reply.reset(dbus_pending_call_steal_reply(pending.get()));
      }
      if (reply && dbus_message_get_type(reply.get()) == DBUS_MESSAGE_TYPE_ERROR) {
        answered = answered || !dbus_message_is_error(reply.get(), DBUS_ERROR_NO_REPLY);
        reply.reset();
      } else if (reply) {
        answered = true;
      }
      replies.push_back(std::move(reply));
    }
    pending_.clear();
    return replies;
  }

  [[nodiscard]] const std::string& busName() const { return busName_; }

 private:
  DBusConnection* bus_;
  std::string busName_;
  std::chrono::milliseconds timeout_;
  std::vector<PendingPtr> pending_;
};

// Opens the reply's only argument, a container of D-Bus type `type`, into `inside`.
bool openArgument(DBusMessage* reply, int type, DBusMessageIter& inside) {
  DBusMessageIter top;
  if (reply == nullptr || dbus_message_iter_init(reply, &top) == FALSE ||
      dbus_message_iter_get_arg_type(&top) != type) {
    return false;
  }
  dbus_message_iter_recurse(&top, &inside);
  return true;
}

std::optional<std::uint64_t> stateBits(DBusMessage* reply) {
  DBusMessageIter words;
  if (!openArgument(reply, DBUS_TYPE_ARRAY, words)) {
    return std::nullopt;
  }
  std::uint64_t bits = 0;
  for (unsigned word = 0; word < 2 && dbus_message_iter_get_arg_type(&words) == DBUS_TYPE_UINT32; ++word) {
    dbus_uint32_t value = 0;
    dbus_message_iter_get_basic(&words, &value);
    bits |= std::uint64_t{value} << (32U * word);
    dbus_message_iter_next(&words);
  }
  return bits;
}

std::optional<int> childCountOf(DBusMessage* reply) {
  DBusMessageIter value;
  if (!openArgument(reply, DBUS_TYPE_VARIANT, value) ||
      dbus_message_iter_get_arg_type(&value) != DBUS_TYPE_INT32) {
    return std::nullopt;
  }
  dbus_int32_t count = 0;
  dbus_message_iter_get_basic(&value, &count);
  return count >= 0 ? std::optional<int>(count) : std::nullopt;
}

// The child an (so) answer names, when it is an element of the same application.
GObjectPtr<AtspiAccessible> childOf(DBusMessage* reply, const std::string& busName) {
  DBusMessageIter reference;
  if (!openArgument(reply, DBUS_TYPE_STRUCT, reference)) {
    return nullptr;
  }
  const char* bus = nullptr;
  const char* path = nullptr;
  if (dbus_message_iter_get_arg_type(&reference) != DBUS_TYPE_STRING) {
    return nullptr;
  }
  dbus_message_iter_get_basic(&reference, static_cast<void*>(&bus));
  dbus_message_iter_next(&reference);
  if (dbus_message_iter_get_arg_type(&reference) != DBUS_TYPE_OBJECT_PATH) {
    return nullptr;
  }
  dbus_message_iter_get_basic(&reference, static_cast<void*>(&path));
  if (bus == nullptr || path == nullptr || busName != bus || path == kNullPath) {
    return nullptr;
  }
  return GObjectPtr<AtspiAccessible>(refObject(busName, path));
}

// One batch to the application of `objects.front()`: `ask` sends the calls for each of its
// elements (another application's are left out); the answers, in the order sent.
std::vector<MessagePtr> runBatch(std::span<AtspiAccessible* const> objects, std::chrono::milliseconds allowed,
                                 const std::function<void(Batch&, std::size_t, const char*)>& ask,
                                 bool& answered) {
  const std::string busName(applicationBusName(objects.front()));
  Batch batch(atspi_get_a11y_bus(), busName, allowed);
  for (std::size_t i = 0; i < objects.size(); ++i) {
    if (applicationBusName(objects[i]) == busName) {
      ask(batch, i, objectPath(objects[i]));
    }
  }
  return batch.await(answered);
}

}  // namespace

std::optional<std::chrono::milliseconds> AtspiCalls::batchAllowance(
    std::span<AtspiAccessible* const> objects) {
  // An element whose application libatspi has not named has no bus to ask: libdbus aborts the
  // process on a call to an empty name.
  if (objects.empty() || applicationBusName(objects.front()).empty() || !answerable(objects.front()) ||
      atspi_get_a11y_bus() == nullptr) {
    return std::nullopt;
  }
  return patience_.allowance(applicationBusName(objects.front()));
}

void AtspiCalls::recordBatch(AtspiAccessible* object, steady_clock::time_point start,
                             std::chrono::milliseconds allowed, bool answered) {
  record(object, answered ? steady_clock::duration::zero() : steady_clock::now() - start, allowed);
}

std::vector<AtspiCalls::Branch> AtspiCalls::branches(std::span<AtspiAccessible* const> objects) {
  std::vector<Branch> result(objects.size());
  const auto allowed = batchAllowance(objects);
  if (!allowed) {
    return result;
  }
  const auto start = steady_clock::now();
  std::vector<std::optional<std::size_t>> asked(objects.size());
  bool answered = false;
  const auto replies = runBatch(
      objects, *allowed,
      [&](Batch& batch, std::size_t i, const char* path) {
        asked[i] = batch.send(batch.call(path, kAccessibleInterface, "GetState"));
        auto count = batch.call(path, kPropertiesInterface, "Get");
        const char* interface = kAccessibleInterface;
        const char* property = "ChildCount";
        if (count) {
          dbus_message_append_args(count.get(), DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING, &property,
                                   DBUS_TYPE_INVALID);
        }
        batch.send(std::move(count));
      },
      answered);
  recordBatch(objects.front(), start, *allowed, answered);
  for (std::size_t i = 0; i < objects.size(); ++i) {
    if (!asked[i]) {
      continue;  // another application's: left unanswered
    }
    const auto bits = stateBits(replies[*asked[i]].get());
    if (bits && !AtspiStates(*bits).has(ATSPI_STATE_DEFUNCT)) {
      result[i].states = AtspiStates(*bits);
    }
    result[i].childCount = childCountOf(replies[*asked[i] + 1].get());
  }
  return result;
}

std::vector<std::vector<GObjectPtr<AtspiAccessible>>> AtspiCalls::children(
    std::span<AtspiAccessible* const> objects, std::span<const int> counts) {
  std::vector<std::vector<GObjectPtr<AtspiAccessible>>> result(objects.size());
  const auto allowed = batchAllowance(objects);
  if (!allowed || counts.size() < objects.size()) {
    return result;
  }
  const auto start = steady_clock::now();
  std::vector<std::pair<std::size_t, std::size_t>> asked;  // (element, first answer)
  bool answered = false;
  const auto replies = runBatch(
      objects, *allowed,
      [&](Batch& batch, std::size_t i, const char* path) {
        for (dbus_int32_t index = 0; index < counts[i]; ++index) {
          auto message = batch.call(path, kAccessibleInterface, "GetChildAtIndex");
          if (message) {
            dbus_message_append_args(message.get(), DBUS_TYPE_INT32, &index, DBUS_TYPE_INVALID);
          }
          const std::size_t sent = batch.send(std::move(message));
          if (index == 0) {
            asked.emplace_back(i, sent);
          }
        }
      },
      answered);
  recordBatch(objects.front(), start, *allowed, answered);
  const std::string busName(applicationBusName(objects.front()));
  for (const auto& [i, first] : asked) {
    for (int index = 0; index < counts[i]; ++index) {
      if (auto child = childOf(replies[first + static_cast<std::size_t>(index)].get(), busName)) {
        result[i].push_back(std::move(child));
      }
    }
  }
  return result;
}

}  // namespace wrenfold
