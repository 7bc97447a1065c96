#include "core/support/uuid.h"

#include <sys/random.h>

#include <cerrno>
#include <random>

namespace wrenfold {
namespace {

constexpr std::size_t kTextLength = 36;

bool isDashPosition(std::size_t i) {
  return i == 8 || i == 13 || i == 18 || i == 23;
}

std::optional<std::uint8_t> hexValue(char c) {
  if (c >= '0' && c <= '9') {
    return static_cast<std::uint8_t>(c - '0');
  }
  if (c >= 'a' && c <= 'f') {
    return static_cast<std::uint8_t>(c - 'a' + 10);
  }
  if (c >= 'A' && c <= 'F') {
    return static_cast<std::uint8_t>(c - 'A' + 10);
  }
  return std::nullopt;
}

// Kernel randomness: unlike a seeded generator it stays unique across forked processes.
bool fillFromKernel(std::array<std::uint8_t, 16>& bytes) {
  std::size_t filled = 0;
  while (filled < bytes.size()) {
    const ssize_t got = ::getrandom(bytes.data() + filled, bytes.size() - filled, 0);
    if (got < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    filled += static_cast<std::size_t>(got);
  }
  return true;
}

// Only for kernels without getrandom().
void fillFromGenerator(std::array<std::uint8_t, 16>& bytes) {
  thread_local std::mt19937_64 generator = [] {
    std::random_device device;
    std::seed_seq seed{device(), device(), device(), device(), device(), device(), device(), device()};
    return std::mt19937_64(seed);
  }();
  for (std::size_t i = 0; i < bytes.size(); i += 8) {
    std::uint64_t word = generator();
    for (std::size_t j = 0; j < 8; ++j) {
      bytes[i + j] = static_cast<std::uint8_t>(word & 0xFF);
      word >>= 8;
    }
  }
}

}  // namespace

Uuid Uuid::random() {
  Uuid uuid;
  if (!fillFromKernel(uuid.bytes_)) {
    fillFromGenerator(uuid.bytes_);
  }
  uuid.bytes_[6] = static_cast<std::uint8_t>((uuid.bytes_[6] & 0x0F) | 0x40);  // version 4
  uuid.bytes_[8] = static_cast<std::uint8_t>((uuid.bytes_[8] & 0x3F) | 0x80);  // RFC 4122 variant
  return uuid;
}

std::optional<Uuid> Uuid::parse(std::string_view text) {
  if (text.size() != kTextLength) {
    return std::nullopt;
  }
  Uuid uuid;
  std::size_t nibble = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (isDashPosition(i)) {
      if (text[i] != '-') {
        return std::nullopt;
      }
      continue;
    }
    const auto value = hexValue(text[i]);
    if (!value) {
      return std::nullopt;
    }
    auto& byte = uuid.bytes_[nibble / 2];
    byte = static_cast<std::uint8_t>(nibble % 2 == 0 ? *value << 4 : byte | *value);
    ++nibble;
  }
  return uuid;
}

std::string Uuid::string() const {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(kTextLength);
  for (std::size_t i = 0; i < bytes_.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) {
      text.push_back('-');
    }
    text.push_back(kDigits[bytes_[i] >> 4]);
    text.push_back(kDigits[bytes_[i] & 0x0F]);
  }
  return text;
}

}  // namespace wrenfold
