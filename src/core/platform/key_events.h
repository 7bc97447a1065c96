#pragma once

// The synthetic key port: one chord, pressed and released. Main thread only.

#include <functional>
#include <string>

namespace wrenfold {

enum class KeyModifier : unsigned { control = 1u, shift = 2u, alt = 4u, super = 8u };

struct KeyChord {
  std::string key;         // the key's name as printed on it, lower case: "v"
  unsigned modifiers = 0;  // KeyModifier bits

  // The paste chord, Ctrl+V. A back-end may turn it into the focused application's own paste
  // chord (terminals paste with Ctrl+Shift+V).
  [[nodiscard]] static KeyChord paste() { return {"v", static_cast<unsigned>(KeyModifier::control)}; }
  bool operator==(const KeyChord&) const = default;
};

enum class KeyPostResult {
  posted,  // pressed and released
  retry,   // not posted now (for example a modifier is still held); may be asked again
  failed,  // cannot be posted in this session
};

class KeyEvents {
 public:
  KeyEvents() = default;
  virtual ~KeyEvents() = default;
  KeyEvents(const KeyEvents&) = delete;
  KeyEvents& operator=(const KeyEvents&) = delete;

  // Presses and releases `chord` as if typed; the result says which of the three happened.
  // A back-end releases any modifier of its own on every path.
  [[nodiscard]] virtual KeyPostResult post(const KeyChord& chord) = 0;
  // The same, for back-ends whose answer comes later (a portal on the session bus): never
  // blocks; `done` runs on the main thread, later or at once, once the chord was sent or refused.
  using PostHandler = std::function<void(KeyPostResult)>;
  virtual void postThen(const KeyChord& chord, PostHandler done) { done(post(chord)); }
  // Calls `ready` on the main thread once chords can be sent without waiting for anyone (the
  // desktop may first ask the user's consent): at once where nothing is awaited, later
  // otherwise; with false when none can be sent in this session.
  using ReadyHandler = std::function<void(bool ready)>;
  virtual void whenReady(ReadyHandler ready) { ready(true); }
};

}  // namespace wrenfold
