#include "platform/linux/atspi_tree_fetch.h"

#include <dlfcn.h>

#include <string_view>

#include "platform/linux/atspi_handle.h"
#include "platform/linux/dbus_message.h"

namespace wrenfold {
namespace {

using std::chrono::steady_clock;

constexpr const char* kCachePath = "/org/a11y/atspi/cache";
constexpr const char* kCacheInterface = "org.a11y.atspi.Cache";
// Current toolkits tell each item's index and child count; older ones list the children.
constexpr std::string_view kIndexedItems = "a((so)(so)(so)iiassusau)";
constexpr std::string_view kListedItems = "a((so)(so)(so)a(so)assusau)";
constexpr std::string_view kTextInterface = "org.a11y.atspi.Text";
constexpr std::string_view kEditableTextInterface = "org.a11y.atspi.EditableText";

std::string readString(DBusMessageIter& iter) {
  const char* value = nullptr;
  dbus_message_iter_get_basic(&iter, static_cast<void*>(&value));
  return value != nullptr ? std::string(value) : std::string();
}

// An (so) reference: the path when it belongs to `busName`, else "".
std::string readReference(DBusMessageIter& iter, const std::string& busName) {
  DBusMessageIter reference;
  dbus_message_iter_recurse(&iter, &reference);
  const std::string bus = readString(reference);
  dbus_message_iter_next(&reference);
  std::string path = readString(reference);
  return bus == busName ? path : std::string();
}

std::int32_t readInt(DBusMessageIter& iter) {
  dbus_int32_t value = 0;
  dbus_message_iter_get_basic(&iter, &value);
  return value;
}

std::uint32_t readUint(DBusMessageIter& iter) {
  dbus_uint32_t value = 0;
  dbus_message_iter_get_basic(&iter, &value);
  return value;
}

TreeItem readItem(DBusMessageIter& entry, const std::string& busName, bool indexed) {
  TreeItem item;
  DBusMessageIter field;
  dbus_message_iter_recurse(&entry, &field);
  item.path = readReference(field, busName);
  dbus_message_iter_next(&field);
  dbus_message_iter_next(&field);  // the application
  item.parentPath = readReference(field, busName);
  dbus_message_iter_next(&field);
  if (indexed) {
    item.indexInParent = readInt(field);
    dbus_message_iter_next(&field);
    item.childCount = readInt(field);
  } else {
    std::vector<std::string> children;
    DBusMessageIter list;
    dbus_message_iter_recurse(&field, &list);
    while (dbus_message_iter_get_arg_type(&list) == DBUS_TYPE_STRUCT) {
      children.push_back(readReference(list, busName));
      dbus_message_iter_next(&list);
    }
    item.childCount = static_cast<int>(children.size());
    item.children = std::move(children);
  }
  dbus_message_iter_next(&field);
  DBusMessageIter interfaces;
  dbus_message_iter_recurse(&field, &interfaces);
  while (dbus_message_iter_get_arg_type(&interfaces) == DBUS_TYPE_STRING) {
    const std::string name = readString(interfaces);
    item.hasText = item.hasText || name == kTextInterface;
    item.hasEditableText = item.hasEditableText || name == kEditableTextInterface;
    dbus_message_iter_next(&interfaces);
  }
  dbus_message_iter_next(&field);
  item.name = readString(field);
  dbus_message_iter_next(&field);
  item.role = static_cast<AtspiRole>(readUint(field));
  dbus_message_iter_next(&field);
  dbus_message_iter_next(&field);  // the description
  DBusMessageIter states;
  dbus_message_iter_recurse(&field, &states);
  for (unsigned word = 0; word < 2 && dbus_message_iter_get_arg_type(&states) == DBUS_TYPE_UINT32; ++word) {
    item.states |= std::uint64_t{readUint(states)} << (32U * word);
    dbus_message_iter_next(&states);
  }
  return item;
}

}  // namespace

std::optional<std::vector<TreeItem>> fetchTree(AtspiAccessible* application,
                                               std::chrono::milliseconds timeout, bool& stalled) {
  stalled = false;
  DBusConnection* bus = atspi_get_a11y_bus();
  const std::string busName(applicationBusName(application));
  if (bus == nullptr || busName.empty()) {
    return std::nullopt;
  }
  MessagePtr request(dbus_message_new_method_call(busName.c_str(), kCachePath, kCacheInterface, "GetItems"));
  if (!request) {
    return std::nullopt;
  }
  DBusError error;
  dbus_error_init(&error);
  const auto start = steady_clock::now();
  MessagePtr reply(dbus_connection_send_with_reply_and_block(bus, request.get(),
                                                             static_cast<int>(timeout.count()), &error));
  if (dbus_error_is_set(&error) != FALSE) {
    stalled = steady_clock::now() - start >= timeout * 9 / 10;
    dbus_error_free(&error);
    return std::nullopt;
  }
  const char* signature = reply ? dbus_message_get_signature(reply.get()) : nullptr;
  if (signature == nullptr || (signature != kIndexedItems && signature != kListedItems)) {
    return std::nullopt;
  }
  const bool indexed = signature == kIndexedItems;
  DBusMessageIter top;
  DBusMessageIter entries;
  if (dbus_message_iter_init(reply.get(), &top) == FALSE) {
    return std::nullopt;
  }
  dbus_message_iter_recurse(&top, &entries);
  std::vector<TreeItem> items;
  while (dbus_message_iter_get_arg_type(&entries) == DBUS_TYPE_STRUCT) {
    auto item = readItem(entries, busName, indexed);
    if (!item.path.empty()) {
      items.push_back(std::move(item));
    }
    dbus_message_iter_next(&entries);
  }
  return items;
}

AtspiAccessible* refObject(const std::string& busName, const std::string& path) {
  // libatspi keeps one object per path and hands the same one to every caller; it only names
  // the call that finds it privately, so it is looked up rather than linked against.
  using RefAccessible = AtspiAccessible* (*)(const char*, const char*);
  static const auto ref = reinterpret_cast<RefAccessible>(dlsym(RTLD_DEFAULT, "_atspi_ref_accessible"));
  return ref != nullptr ? ref(busName.c_str(), path.c_str()) : nullptr;
}

}  // namespace wrenfold
