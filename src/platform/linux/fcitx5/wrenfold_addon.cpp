#include "wrenfold_addon.h"

#include <dbus_public.h>
#include <fcitx-utils/capabilityflags.h>
#include <fcitx-utils/dbus/bus.h>
#include <fcitx-utils/dbus/message.h>
#include <fcitx-utils/log.h>
#include <fcitx-utils/rect.h>
#include <fcitx/addonfactory.h>
#include <fcitx/addonmanager.h>
#include <fcitx/inputcontextmanager.h>
#include <fcitx/surroundingtext.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace wrenfold::fcitx5 {
namespace {

constexpr const char* kPath = "/wrenfold";
constexpr const char* kInterface = "org.wrenfold.InputMethod1";
constexpr std::uint64_t kBusTimeoutMicroseconds = 200'000;

bool refusesText(const fcitx::InputContext& context) {
  return context.capabilityFlags().testAny(fcitx::CapabilityFlag::PasswordOrSensitive);
}

// The executables allowed to call: the installed Wrenfold, and those fcitx5 was started with in
// WRENFOLD_IM_CALLERS (colon-separated; the tests' build tree). Whoever sets fcitx5's
// environment owns the session already.
std::vector<std::filesystem::path> allowedCallers() {
  std::vector<std::filesystem::path> allowed{WRENFOLD_INSTALLED_EXECUTABLE};
  if (const char* extra = std::getenv("WRENFOLD_IM_CALLERS")) {
    const std::string list(extra);
    for (std::size_t start = 0; start <= list.size();) {
      const auto end = std::min(list.find(':', start), list.size());
      if (end > start) {
        allowed.emplace_back(list.substr(start, end - start));
      }
      start = end + 1;
    }
  }
  for (auto& path : allowed) {
    std::error_code error;
    if (auto real = std::filesystem::canonical(path, error); !error) {
      path = std::move(real);
    }
  }
  return allowed;
}

}  // namespace

// The bus object: each method only hands the caller's name on to the addon.
class WrenfoldAddon::Service : public fcitx::dbus::ObjectVTable<WrenfoldAddon::Service> {
 public:
  explicit Service(WrenfoldAddon& addon) : addon_(addon) {}

  [[nodiscard]] std::string sender() const {
    auto* message = currentMessage();
    return message ? message->sender() : std::string();
  }

 private:
  std::tuple<std::uint64_t, std::string> rememberContext(const std::string& ownProgram) {
    // The interface types into whatever field has the keyboard and reads its text: under Wayland
    // that is what the compositor withholds from other programs, and a sandboxed one may reach
    // Fcitx's connection through its portal name. Wrenfold only.
    if (!addon_.allows(sender())) {
      throw fcitx::dbus::MethodCallError("org.freedesktop.DBus.Error.AccessDenied",
                                         "only Wrenfold may use this interface");
    }
    addon_.caller_ = sender();
    return addon_.remember(ownProgram);
  }
  // Whether the caller would be answered, without remembering anything: for its settings to say so.
  bool allowedCaller() { return addon_.allows(sender()); }
  ContextState contextState(std::uint64_t ticket) {
    return sender() == addon_.caller_ ? addon_.state(ticket) : ContextState{};
  }
  std::string commitText(std::uint64_t ticket, const std::string& text) {
    return sender() == addon_.caller_ ? addon_.commit(ticket, text) : std::string("gone");
  }

  WrenfoldAddon& addon_;
  FCITX_OBJECT_VTABLE_METHOD(rememberContext, "Remember", "s", "ts");
  FCITX_OBJECT_VTABLE_METHOD(allowedCaller, "Allowed", "", "b");
  FCITX_OBJECT_VTABLE_METHOD(contextState, "State", "t", "bbbssbsuuiiii");
  FCITX_OBJECT_VTABLE_METHOD(commitText, "Commit", "ts", "s");
};

WrenfoldAddon::WrenfoldAddon(fcitx::Instance* instance)
    : instance_(instance), service_(std::make_unique<Service>(*this)), allowedCallers_(allowedCallers()) {
  auto* dbus = instance_->addonManager().addon("dbus", true);
  bus_ = dbus ? dbus->call<fcitx::IDBusModule::bus>() : nullptr;
  if (!bus_ || !bus_->addObjectVTable(kPath, kInterface, *service_)) {
    FCITX_ERROR() << "wrenfold: could not publish " << kInterface << " on the session bus";
  }
}

WrenfoldAddon::~WrenfoldAddon() = default;

bool WrenfoldAddon::allows(const std::string& sender) {
  if (sender.empty() || !bus_) {
    return false;
  }
  auto ask = bus_->createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                    "GetConnectionUnixProcessID");
  ask << sender;
  auto reply = ask.call(kBusTimeoutMicroseconds);
  std::uint32_t pid = 0;
  if (reply.type() != fcitx::dbus::MessageType::Reply || !(reply >> pid) || pid == 0) {
    return false;
  }
  std::error_code error;
  const auto executable = std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", error);
  if (error) {
    return false;
  }
  for (const auto& allowed : allowedCallers_) {
    if (executable == allowed) {
      return true;
    }
  }
  FCITX_WARN() << "wrenfold: refused a call from " << executable.string();
  return false;
}

std::tuple<std::uint64_t, std::string> WrenfoldAddon::remember(const std::string& ownProgram) {
  context_.unwatch();
  ticket_ = 0;
  ownProgram_ = ownProgram;
  // Only the context holding the focus now: an older one may belong to another program than the
  // one the user called Wrenfold from.
  auto* focused = instance_->inputContextManager().lastFocusedInputContext();
  if (!focused || !focused->hasFocus() || focused->program() == ownProgram) {
    return {0, {}};
  }
  context_ = focused->watch();
  ticket_ = nextTicket_++;
  return {ticket_, focused->program()};
}

fcitx::InputContext* WrenfoldAddon::remembered(std::uint64_t ticket) const {
  if (ticket == 0 || ticket != ticket_) {
    return nullptr;
  }
  auto* context = context_.get();
  // Belt and braces: a context of our own program is never written, whatever was remembered.
  return context && context->program() != ownProgram_ ? context : nullptr;
}

ContextState WrenfoldAddon::state(std::uint64_t ticket) {
  auto* context = remembered(ticket);
  if (!context) {
    return {};
  }
  const auto& surrounding = context->surroundingText();
  const bool reported =
      context->capabilityFlags().test(fcitx::CapabilityFlag::SurroundingText) && surrounding.isValid();
  const auto& rect = context->cursorRect();
  return {true,
          context->hasFocus(),
          refusesText(*context),
          context->program(),
          context->display(),
          reported,
          reported ? surrounding.text() : std::string(),
          reported ? surrounding.cursor() : 0U,
          reported ? surrounding.anchor() : 0U,
          rect.left(),
          rect.top(),
          rect.width(),
          rect.height()};
}

std::string WrenfoldAddon::commit(std::uint64_t ticket, const std::string& text) {
  auto* context = remembered(ticket);
  if (!context) {
    return "gone";
  }
  if (refusesText(*context)) {
    return "password";
  }
  // Only while the user's field has the keyboard again: a context left for another window gets
  // nothing.
  if (!context->hasFocus()) {
    return "unfocused";
  }
  if (text.empty()) {
    return "empty";
  }
  context->commitString(text);
  return "committed";
}

class WrenfoldAddonFactory : public fcitx::AddonFactory {
 public:
  fcitx::AddonInstance* create(fcitx::AddonManager* manager) override {
    return new WrenfoldAddon(manager->instance());  // fcitx5 owns its addons
  }
};

}  // namespace wrenfold::fcitx5

FCITX_ADDON_FACTORY(wrenfold::fcitx5::WrenfoldAddonFactory);
