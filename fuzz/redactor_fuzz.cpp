// Text that leaves the machine: redaction is idempotent (nothing it recognises is left), a
// known secret never survives, and valid UTF-8 stays valid.

#include <array>

#include "core/security/redactor.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace wrenfold;
  const auto parts = fuzz::fields(fuzz::text(data, size), 2);
  const std::array<std::string, 1> secrets{std::string(parts[0])};
  const std::string input = text::repairUtf8(parts[1]);
  const std::string once = Redactor::redact(input, secrets);
  FUZZ_REQUIRE_UTF8(once);
  const std::string& secret = secrets[0];
  // Only a "secret" with a bracket, or inside the replacement, can be formed by the replacement.
  if (secret.find_first_of("[]") == std::string::npos &&
      Redactor::replacement.find(secret) == std::string::npos) {
    FUZZ_REQUIRE(Redactor::redact(once, secrets) == once);
  }
  // A secret sharing no character with the replacement cannot be rebuilt from it.
  if (secret.size() >= Redactor::minimumKnownSecretLength &&
      secret.find_first_of(Redactor::replacement) == std::string::npos) {
    FUZZ_REQUIRE(once.find(secret) == std::string::npos);
  }
  return 0;
}
