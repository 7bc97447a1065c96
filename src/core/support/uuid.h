#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace wrenfold {

// A random (version 4) UUID; its text form is 8-4-4-4-12 upper-case hexadecimal digits.
class Uuid {
 public:
  Uuid() = default;  // the nil UUID
  [[nodiscard]] static Uuid random();
  // Accepts upper- or lower-case hexadecimal in the 8-4-4-4-12 form; anything else is absent.
  [[nodiscard]] static std::optional<Uuid> parse(std::string_view text);

  [[nodiscard]] std::string string() const;
  [[nodiscard]] const std::array<std::uint8_t, 16>& bytes() const { return bytes_; }

  auto operator<=>(const Uuid&) const = default;

 private:
  std::array<std::uint8_t, 16> bytes_{};
};

}  // namespace wrenfold
