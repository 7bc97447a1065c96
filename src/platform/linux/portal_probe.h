#pragma once

// What the desktop's portal (xdg-desktop-portal) offers Wrenfold, asked without waiting: the
// launch goes on while the portal starts (at login it may take seconds), and a portal that
// appears only later, or restarts, is asked again. Main thread only: GDBus answers on GLib's
// default main context, which Qt's event loop runs.

#include <cstdint>
#include <functional>
#include <memory>

typedef struct _GDBusConnection GDBusConnection;  // NOLINT(modernize-use-using)

namespace wrenfold {

struct PortalOffers {
  bool globalShortcuts = false;
  std::uint32_t remoteDesktopVersion = 0;  // 0: no keyboard through RemoteDesktop

  bool operator==(const PortalOffers&) const = default;
};

struct PortalProbeLink;

class PortalProbe {
 public:
  using Handler = std::function<void(const PortalOffers&)>;

  // Null without a session bus. `answered` runs on the main thread, never from within this call:
  // once the portal answered, is known to be missing, or did not answer in time (then with
  // nothing offered); again whenever a later answer differs (it appeared, or restarted).
  [[nodiscard]] static std::unique_ptr<PortalProbe> watch(Handler answered);
  ~PortalProbe();
  PortalProbe(const PortalProbe&) = delete;
  PortalProbe& operator=(const PortalProbe&) = delete;

  // The session bus the portal answered on; the adapters made for it use the same.
  [[nodiscard]] GDBusConnection* bus() const { return bus_; }

 private:
  PortalProbe(GDBusConnection* bus, Handler answered);
  void ask();
  void interfaceAnswered(std::uint64_t generation, bool remoteDesktop, bool replied, std::uint32_t version,
                         std::uint32_t deviceTypes);
  void vanished();
  void report(const PortalOffers& offers);
  friend struct PortalProbeCallbacks;

  std::shared_ptr<PortalProbeLink> link_;  // what the callbacks hold; cleared when this goes
  GDBusConnection* bus_;
  Handler answered_;
  unsigned watcher_ = 0;
  unsigned retrySource_ = 0;
  std::uint64_t generation_ = 0;  // the current round of questions; older answers are dropped
  int outstanding_ = 0;
  bool unanswered_ = false;  // a question of this round got no answer
  PortalOffers offers_;      // this round's answers so far
  bool reported_ = false;
  PortalOffers last_;
};

}  // namespace wrenfold
