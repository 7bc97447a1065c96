#include "fakes/fake_key_events.h"

namespace wrenfold::testing {

KeyPostResult FakeKeyEvents::post(const KeyChord& chord) {
  posted_.push_back(describe(chord));
  if (result_ == KeyPostResult::posted && onPosted_) {
    onPosted_(chord);
  }
  return result_;
}

std::string FakeKeyEvents::describe(const KeyChord& chord) {
  std::string text;
  const auto add = [&](KeyModifier modifier, const char* name) {
    if ((chord.modifiers & static_cast<unsigned>(modifier)) != 0) {
      text += name;
      text += '+';
    }
  };
  add(KeyModifier::control, "ctrl");
  add(KeyModifier::shift, "shift");
  add(KeyModifier::alt, "alt");
  add(KeyModifier::super, "super");
  return text + chord.key;
}

}  // namespace wrenfold::testing
