#include "platform/linux/fcitx_input_method.h"

#include <gio/gio.h>

#include <filesystem>
#include <memory>
#include <system_error>
#include <utility>

#include "platform/linux/gvariant_ptr.h"

namespace wrenfold {
namespace {

constexpr const char* kService = "org.fcitx.Fcitx5";
constexpr const char* kPath = "/wrenfold";
constexpr const char* kInterface = "org.wrenfold.InputMethod1";

// The reply, or null when the addon (or Fcitx) is not there or fails. Never auto-starts Fcitx:
// it ships a bus activation file, and a user who does not run it must not get it started.
VariantPtr call(GDBusConnection* bus, const char* method, GVariant* parameters, const char* replyType) {
  if (bus == nullptr) {
    if (parameters != nullptr) {
      g_variant_unref(g_variant_ref_sink(parameters));
    }
    return nullptr;
  }
  GErrorSlot error;
  return VariantPtr(g_dbus_connection_call_sync(bus, kService, kPath, kInterface, method, parameters,
                                                G_VARIANT_TYPE(replyType), G_DBUS_CALL_FLAGS_NO_AUTO_START,
                                                static_cast<gint>(FcitxInputMethod::kCallTimeout.count()),
                                                nullptr, error.out()));
}

}  // namespace

std::string executableName() {
  std::error_code error;
  const auto path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : path.filename().string();
}

FcitxInputMethod::FcitxInputMethod(std::string ownProgram) : ownProgram_(std::move(ownProgram)) {
  GErrorSlot error;
  bus_.reset(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, error.out()));
  if (bus_) {
    // The shared connection would end the whole process when the session bus goes away.
    g_dbus_connection_set_exit_on_close(bus_.get(), FALSE);
  }
}

std::optional<std::uint64_t> FcitxInputMethod::rememberFocused() {
  const auto reply = call(bus_.get(), "Remember", g_variant_new("(s)", ownProgram_.c_str()), "(ts)");
  if (!reply) {
    return std::nullopt;
  }
  guint64 ticket = 0;
  const gchar* program = nullptr;
  g_variant_get(reply.get(), "(t&s)", &ticket, &program);
  return ticket == 0 ? std::nullopt : std::optional<std::uint64_t>(ticket);
}

std::optional<InputContextState> FcitxInputMethod::state(std::uint64_t ticket) {
  const auto reply =
      call(bus_.get(), "State", g_variant_new("(t)", static_cast<guint64>(ticket)), "(bbbssbsuuiiii)");
  if (!reply) {
    return std::nullopt;
  }
  gboolean alive = FALSE;
  gboolean focused = FALSE;
  gboolean refuses = FALSE;
  gboolean reported = FALSE;
  const gchar* program = nullptr;
  const gchar* display = nullptr;
  const gchar* surrounding = nullptr;
  guint32 cursor = 0;
  guint32 anchor = 0;
  gint32 x = 0;
  gint32 y = 0;
  gint32 width = 0;
  gint32 height = 0;
  g_variant_get(reply.get(), "(bbb&s&sb&suuiiii)", &alive, &focused, &refuses, &program, &display, &reported,
                &surrounding, &cursor, &anchor, &x, &y, &width, &height);
  if (!alive) {
    return std::nullopt;
  }
  InputContextState state;
  state.focused = focused;
  state.refusesText = refuses;
  state.program = program;
  if (reported) {
    state.surroundingText = surrounding;
    state.cursor = cursor;
    state.anchor = anchor;
  }
  // Frontends that have not been told where the caret is report an empty rectangle at the origin.
  if (width > 0 || height > 0 || x != 0 || y != 0) {
    state.cursorRect = Rect{static_cast<double>(x), static_cast<double>(y), static_cast<double>(width),
                            static_cast<double>(height)};
  }
  state.cursorRectOnScreen = std::string_view(display).starts_with("x11:");
  return state;
}

CommitResult FcitxInputMethod::commit(std::uint64_t ticket, std::string_view text) {
  const std::string owned(text);
  const auto reply =
      call(bus_.get(), "Commit", g_variant_new("(ts)", static_cast<guint64>(ticket), owned.c_str()), "(s)");
  if (!reply) {
    return CommitResult::gone;
  }
  const gchar* status = nullptr;
  g_variant_get(reply.get(), "(&s)", &status);
  const std::string_view answer(status);
  if (answer == "committed") {
    return CommitResult::committed;
  }
  if (answer == "password") {
    return CommitResult::refused;
  }
  return answer == "unfocused" ? CommitResult::unfocused : CommitResult::gone;
}

InputMethodStatus FcitxInputMethod::status() {
  if (!bus_) {
    return InputMethodStatus::absent;
  }
  GErrorSlot ownerError;
  const VariantPtr owner(g_dbus_connection_call_sync(
      bus_.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
      g_variant_new("(s)", kService), G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE,
      static_cast<gint>(kCallTimeout.count()), nullptr, ownerError.out()));
  gboolean running = FALSE;
  if (owner) {
    g_variant_get(owner.get(), "(b)", &running);
  }
  if (!running) {
    return InputMethodStatus::absent;
  }
  const auto reply = call(bus_.get(), "Allowed", nullptr, "(b)");
  if (!reply) {
    return InputMethodStatus::withoutAddon;
  }
  gboolean allowed = FALSE;
  g_variant_get(reply.get(), "(b)", &allowed);
  return allowed ? InputMethodStatus::ready : InputMethodStatus::refusesUs;
}

}  // namespace wrenfold
