#include "core/ai/base64.h"

#include <cstdint>

namespace wrenfold::base64 {
namespace {

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

char sextet(std::uint32_t group, int shift) {
  return kAlphabet[(group >> shift) & 0x3Fu];
}

std::uint32_t byteAt(std::string_view bytes, std::size_t index) {
  return index < bytes.size() ? static_cast<std::uint8_t>(bytes[index]) : 0u;
}

}  // namespace

std::string encode(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::uint32_t group = byteAt(bytes, i) << 16 | byteAt(bytes, i + 1) << 8 | byteAt(bytes, i + 2);
    const std::size_t available = bytes.size() - i;  // 1, 2, or 3 and more
    out += sextet(group, 18);
    out += sextet(group, 12);
    out += available > 1 ? sextet(group, 6) : '=';
    out += available > 2 ? sextet(group, 0) : '=';
  }
  return out;
}

}  // namespace wrenfold::base64
