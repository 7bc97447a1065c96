#pragma once

// What every fuzz target shares: a property that does not hold aborts, so the engine keeps
// the input that broke it; inputs are cut into fields at the unit separator (0x1F).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <utility>
#include <vector>

#include "core/text/text.h"

namespace wrenfold::fuzz {

[[noreturn]] inline void fail(const char* property) {
  std::fprintf(stderr, "property failed: %s\n", property);
  std::abort();
}

inline std::string_view text(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// Exactly `count` fields; missing ones are empty, the last one keeps any further separators.
inline std::vector<std::string_view> fields(std::string_view input, std::size_t count) {
  std::vector<std::string_view> out;
  while (out.size() + 1 < count) {
    const auto at = input.find('\x1f');
    out.push_back(input.substr(0, at));
    input = at == std::string_view::npos ? std::string_view() : input.substr(at + 1);
  }
  out.push_back(input);
  return out;
}

// The first byte as a small choice, and the rest.
inline std::pair<unsigned, std::string_view> choice(std::string_view input, unsigned options) {
  if (input.empty()) {
    return {0, input};
  }
  return {static_cast<unsigned char>(input.front()) % options, input.substr(1)};
}

}  // namespace wrenfold::fuzz

#define FUZZ_REQUIRE(condition) \
  ((condition) ? static_cast<void>(0) : ::wrenfold::fuzz::fail(#condition " (" __FILE__ ")"))
#define FUZZ_REQUIRE_UTF8(value) FUZZ_REQUIRE(::wrenfold::text::isValidUtf8(value))
