#pragma once

// Synthetic keys for native Wayland programs, through the desktop's RemoteDesktop portal
// (xdg-desktop-portal): the one way an ordinary Wayland client may type into another. A session
// with the keyboard alone is started when the first chord needs it and then kept for the login
// session, so the desktop's consent dialog (GNOME asks at every session start; KDE Plasma 5.27
// did not, for the keyboard alone) appears at most once per Wrenfold run. Where the portal keeps
// consent (version 2 and later), its restore token is kept in the user defaults so the user is
// asked once. Until the session
// runs, or when it was refused, no chord is posted and the candidate stays on the clipboard. A
// paste waits for the session a bounded time; the session waits for the user's answer.
// The session is watched: the portal closing it (the user stopped it from the desktop's
// indicator) or refusing a key ends it, and the next chord starts a new one. Key calls never
// wait on the main thread. Main thread only: GDBus answers on GLib's default main context,
// which Qt's event loop runs.

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "core/platform/key_events.h"
#include "core/platform/user_defaults.h"

typedef struct _GDBusConnection GDBusConnection;  // NOLINT(modernize-use-using)
typedef struct _GVariant GVariant;                // NOLINT(modernize-use-using)

namespace wrenfold {

struct RemoteDesktopLink;

class PortalKeyEvents final : public KeyEvents {
 public:
  // For a portal on `bus` whose RemoteDesktop interface (of `version`) offers a keyboard; holds
  // its own reference to `bus`. Starts no session yet.
  [[nodiscard]] static std::unique_ptr<PortalKeyEvents> open(GDBusConnection* bus, std::uint32_t version,
                                                             UserDefaults& defaults);
  ~PortalKeyEvents() override;
  PortalKeyEvents(const PortalKeyEvents&) = delete;
  PortalKeyEvents& operator=(const PortalKeyEvents&) = delete;

  // Sent without waiting; "failed" while no session runs (one is started for the next chord).
  [[nodiscard]] KeyPostResult post(const KeyChord& chord) override;
  // Waits, without blocking, for a session being started and for the portal's answer to every
  // key event; a refusal ends the session and answers "failed".
  void postThen(const KeyChord& chord, PostHandler done) override;
  // Starts the session if none runs; true once it runs with the keyboard granted, false when
  // the user declined or closed the dialog, or the session could not start.
  void whenReady(ReadyHandler ready) override;

 private:
  PortalKeyEvents(GDBusConnection* bus, std::uint32_t version, UserDefaults& defaults);
  void startSession();
  void endSession();
  void sessionClosed();
  void sendNext();
  void keyAnswered(bool accepted);
  void startTimedOut();
  void armStartTimer();
  // Answers every paste waiting for the session or its keys: not ready, failed.
  void failWaiting();
  void request(const char* method, GVariant* parameters, const std::string& token,
               void (PortalKeyEvents::*then)(std::uint32_t, GVariant*));
  void sessionCreated(std::uint32_t code, GVariant* results);
  void devicesSelected(std::uint32_t code, GVariant* results);
  void started(std::uint32_t code, GVariant* results);
  void responded(const char* path, GVariant* parameters);
  // One chord's key events in order, each sent once the portal answered the one before: sent
  // without waiting, a release could overtake its press and leave the program repeating "v".
  struct Chord {
    std::vector<std::pair<std::uint32_t, bool>> events;  // keysym, pressed
    PostHandler done;
  };
  [[nodiscard]] static std::vector<std::pair<std::uint32_t, bool>> eventsOf(const KeyChord& chord);
  friend struct RemoteDesktopCallbacks;

  std::shared_ptr<RemoteDesktopLink> link_;  // what the callbacks hold; cleared when this goes
  GDBusConnection* bus_;
  std::uint32_t version_;
  UserDefaults& defaults_;
  std::uint32_t responseSubscription_ = 0;
  std::string pendingPath_;  // the Request whose Response comes next
  void (PortalKeyEvents::*pendingThen_)(std::uint32_t, GVariant*) = nullptr;
  std::string sessionHandle_;
  bool keyboard_ = false;  // the session runs and the desktop granted the keyboard
  bool starting_ = false;  // a session is being set up
  int sessions_ = 0;       // started so far: each needs tokens of its own
  std::uint32_t closedSubscription_ = 0;
  std::uint32_t startTimer_ = 0;
  std::deque<Chord> chords_;  // waiting for the session, the first one being sent
  std::vector<ReadyHandler> readyWaiters_;
  std::size_t sent_ = 0;   // events of the first chord sent so far
  bool awaiting_ = false;  // an event's answer is outstanding
};

}  // namespace wrenfold
