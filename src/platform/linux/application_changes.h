#pragma once

// Counts the changes each application reports over the accessibility bus, so that what was read
// of a window can be reused until its application reports anything that may alter it. No bus
// here: the event listener feeds it. Main thread only.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace wrenfold {

class ApplicationChanges {
 public:
  // The event types that may alter what a walk reads: text, children, states, names and values,
  // positions and sizes, what is drawn. The listener registers for exactly these. GTK 3 sends
  // bounds-changed alone when a child is packed into a box or moved within it; Qt sends
  // property-change for names and values.
  static constexpr std::array<const char*, 6> kAlteringEvents{
      "object:children-changed", "object:text-changed",   "object:state-changed",
      "object:property-change",  "object:bounds-changed", "object:visible-data-changed"};

  // Whether an event of `type` ("object:text-changed:insert", ...) is one of kAlteringEvents.
  [[nodiscard]] static bool altersReads(std::string_view type);

  // Records an event of `type` from the application on bus `application`.
  void note(std::string_view application, std::string_view type);
  // Equal for two reads only when no altering event of `application` came in between.
  [[nodiscard]] std::uint64_t stamp(std::string_view application) const;

 private:
  std::uint64_t last_ = 0;
  // Applications with no entry have this stamp; raised whenever entries are dropped, so that a
  // dropped entry's stamp never comes back.
  std::uint64_t floor_ = 0;
  std::unordered_map<std::string, std::uint64_t> stamps_;
};

}  // namespace wrenfold
