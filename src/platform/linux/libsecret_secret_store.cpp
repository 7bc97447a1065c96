#include "platform/linux/libsecret_secret_store.h"

#include <libsecret/secret.h>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace wrenfold {
namespace {

constexpr const char* kSecretsBusName = "org.freedesktop.secrets";
constexpr int kBusTimeoutMs = 5000;

const SecretSchema* apiKeySchema() {
  static const SecretSchema schema = [] {
    SecretSchema s{};
    s.name = "app.tillbrook.wrenfold.APIKey";
    s.flags = SECRET_SCHEMA_NONE;
    s.attributes[0] = {"service", SECRET_SCHEMA_ATTRIBUTE_STRING};
    s.attributes[1] = {"reference", SECRET_SCHEMA_ATTRIBUTE_STRING};
    s.attributes[2] = {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING};
    return s;
  }();
  return &schema;
}

struct HashTableUnref {
  void operator()(GHashTable* table) const { g_hash_table_unref(table); }
};
using Attributes = std::unique_ptr<GHashTable, HashTableUnref>;

// The item's attributes; the table borrows the strings, which outlive each call.
Attributes attributesOf(const SecretName& name) {
  Attributes table(g_hash_table_new(g_str_hash, g_str_equal));
  g_hash_table_insert(table.get(), const_cast<char*>("service"), const_cast<char*>(name.service.c_str()));
  g_hash_table_insert(table.get(), const_cast<char*>("reference"), const_cast<char*>(name.reference.c_str()));
  return table;
}

// Takes the error: a Chinese sentence with libsecret's own detail.
std::string describe(GError* error) {
  std::string text;
  if (error == nullptr) {
    text = "系统密钥环没有完成操作";
  } else if (g_error_matches(error, SECRET_ERROR, SECRET_ERROR_IS_LOCKED)) {
    text = "系统密钥环已锁定，请先解锁";
  } else if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
    text = "系统密钥环的解锁被取消";
  } else {
    text = std::string("系统密钥环（Secret Service）不可用：") + error->message;
  }
  g_clear_error(&error);
  return text;
}

bool busAnswers(GDBusConnection* bus, const char* method, const GVariantType* replyType, GVariant* arguments,
                const std::function<bool(GVariant*)>& accept) {
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                "org.freedesktop.DBus", method, arguments, replyType,
                                                G_DBUS_CALL_FLAGS_NONE, kBusTimeoutMs, nullptr, &error);
  if (reply == nullptr) {
    g_clear_error(&error);
    return false;
  }
  const bool accepted = accept(reply);
  g_variant_unref(reply);
  return accepted;
}

}  // namespace

// What the store and its calls' threads share: a thread held by a prompt outlives the store,
// so it holds this and its own copies only.
struct LibsecretSecretStore::Calls {
  static constexpr std::string_view kAbandoned = "Wrenfold 正在退出，不再等待系统密钥环";

  std::mutex mutex;
  std::condition_variable changed;
  bool abandoned = false;

  // Runs `call` on a thread of its own; its result, or a failure once the calls are abandoned.
  template <class T>
  static Result<T> run(const std::shared_ptr<Calls>& self, std::function<Result<T>()> call) {
    auto result = std::make_shared<std::optional<Result<T>>>();
    std::unique_lock lock(self->mutex);
    if (!self->abandoned) {
      std::thread([self, result, call = std::move(call)] {
        Result<T> done = call();
        const std::scoped_lock finished(self->mutex);
        *result = std::move(done);
        self->changed.notify_all();
      }).detach();
      self->changed.wait(lock, [&] { return result->has_value() || self->abandoned; });
    }
    if (!result->has_value()) {
      return failPlatform(std::string(kAbandoned));
    }
    return std::move(**result);
  }
};

LibsecretSecretStore::LibsecretSecretStore() : calls_(std::make_shared<Calls>()) {}

LibsecretSecretStore::~LibsecretSecretStore() {
  abandonCalls();
}

void LibsecretSecretStore::abandonCalls() {
  const std::scoped_lock lock(calls_->mutex);
  calls_->abandoned = true;
  calls_->changed.notify_all();
}

bool LibsecretSecretStore::isAvailable() {
  GError* error = nullptr;
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  if (bus == nullptr) {
    g_clear_error(&error);
    return false;
  }
  // Running now, or started by the bus on the first call (how GNOME Keyring usually starts).
  const bool running = busAnswers(bus, "NameHasOwner", G_VARIANT_TYPE("(b)"),
                                  g_variant_new("(s)", kSecretsBusName), [](GVariant* r) {
                                    gboolean owned = FALSE;
                                    g_variant_get(r, "(b)", &owned);
                                    return owned == TRUE;
                                  });
  const bool available =
      running || busAnswers(bus, "ListActivatableNames", G_VARIANT_TYPE("(as)"), nullptr, [](GVariant* r) {
        GVariant* names = g_variant_get_child_value(r, 0);
        gsize count = 0;
        const gchar** list = g_variant_get_strv(names, &count);
        bool found = false;
        for (gsize i = 0; i < count && !found; ++i) {
          found = g_strcmp0(list[i], kSecretsBusName) == 0;
        }
        g_free(static_cast<gpointer>(list));
        g_variant_unref(names);
        return found;
      });
  g_object_unref(bus);
  return available;
}

Result<std::optional<std::string>> LibsecretSecretStore::read(const SecretName& name) {
  return Calls::run<std::optional<std::string>>(calls_, [name]() -> Result<std::optional<std::string>> {
    GError* error = nullptr;
    const Attributes attributes = attributesOf(name);
    gchar* secret = secret_password_lookupv_sync(apiKeySchema(), attributes.get(), nullptr, &error);
    if (error != nullptr) {
      return failPlatform(describe(error));
    }
    if (secret == nullptr) {
      return std::optional<std::string>();
    }
    std::string value(secret);
    secret_password_free(secret);
    return std::optional<std::string>(std::move(value));
  });
}

Result<void> LibsecretSecretStore::write(const SecretName& name, std::string_view label,
                                         std::string_view secret) {
  return Calls::run<void>(
      calls_, [name, labelText = std::string(label), secretText = std::string(secret)]() -> Result<void> {
        GError* error = nullptr;
        const Attributes attributes = attributesOf(name);
        const gboolean stored =
            secret_password_storev_sync(apiKeySchema(), attributes.get(), SECRET_COLLECTION_DEFAULT,
                                        labelText.c_str(), secretText.c_str(), nullptr, &error);
        if (stored == FALSE) {
          return failPlatform(describe(error));
        }
        return {};
      });
}

Result<void> LibsecretSecretStore::remove(const SecretName& name) {
  return Calls::run<void>(calls_, [name]() -> Result<void> {
    GError* error = nullptr;
    const Attributes attributes = attributesOf(name);
    secret_password_clearv_sync(apiKeySchema(), attributes.get(), nullptr, &error);  // false: nothing stored
    if (error != nullptr) {
      return failPlatform(describe(error));
    }
    return {};
  });
}

}  // namespace wrenfold
