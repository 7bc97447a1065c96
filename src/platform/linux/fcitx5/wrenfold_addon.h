#pragma once

// The Fcitx 5 addon Wrenfold inserts through: loaded by fcitx5 itself (never linked into
// Wrenfold), it publishes org.wrenfold.InputMethod1 at /wrenfold on Fcitx's session-bus
// connection (service org.fcitx.Fcitx5). Wrenfold asks it to remember the input context focused
// when a cycle starts, then to commit the chosen candidate into exactly that context; nothing is
// ever committed without that request, into any other context, or into Wrenfold's own program,
// and only a process running Wrenfold's executable may ask.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include <fcitx-utils/dbus/bus.h>
#include <fcitx-utils/dbus/objectvtable.h>
#include <fcitx-utils/trackableobject.h>
#include <fcitx/addoninstance.h>
#include <fcitx/inputcontext.h>
#include <fcitx/instance.h>

namespace wrenfold::fcitx5 {

// What State answers: alive, focused, refused (password or sensitive), program, display
// ("x11:…", "wayland:…"), surrounding text valid, its text, cursor and anchor (characters), the
// cursor rectangle (x, y, width, height) in the frontend's coordinates.
using ContextState = std::tuple<bool, bool, bool, std::string, std::string, bool, std::string, std::uint32_t,
                                std::uint32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t>;

class WrenfoldAddon : public fcitx::AddonInstance {
 public:
  explicit WrenfoldAddon(fcitx::Instance* instance);
  ~WrenfoldAddon() override;
  WrenfoldAddon(const WrenfoldAddon&) = delete;
  WrenfoldAddon& operator=(const WrenfoldAddon&) = delete;

  // The focused input context, unless it belongs to `ownProgram`: remembered for the caller and
  // named by the returned ticket (0: no context has the focus). Also its program.
  std::tuple<std::uint64_t, std::string> remember(const std::string& ownProgram);
  // The remembered context as it is now; all false and empty when the ticket is not the
  // caller's latest or the context is gone.
  ContextState state(std::uint64_t ticket);
  // Commits `text` into the remembered context: "committed", else why not: "gone" (no such
  // ticket for this caller, or the context was destroyed), "password", "unfocused", "empty".
  std::string commit(std::uint64_t ticket, const std::string& text);
  // Whether the bus connection `sender` belongs to a process running an allowed executable.
  [[nodiscard]] bool allows(const std::string& sender);

 private:
  class Service;

  [[nodiscard]] fcitx::InputContext* remembered(std::uint64_t ticket) const;

  fcitx::Instance* instance_;
  std::unique_ptr<Service> service_;
  std::vector<std::filesystem::path> allowedCallers_;
  fcitx::dbus::Bus* bus_ = nullptr;
  fcitx::TrackableObjectReference<fcitx::InputContext> context_;
  std::string caller_;  // the bus name that asked to remember it; only it may commit
  std::string ownProgram_;
  std::uint64_t ticket_ = 0;
  std::uint64_t nextTicket_ = 1;
};

}  // namespace wrenfold::fcitx5
