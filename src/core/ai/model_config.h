#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/support/failure.h"
#include "core/support/json.h"

namespace wrenfold {

// A model service Wrenfold can talk to. Stored and compared by its raw value; used like an
// enumeration (`ModelProvider::anthropic`).
class ModelProvider {
 public:
  enum Value { openAICompatible, openRouter, anthropic, gemini };

  constexpr ModelProvider(Value value) : value_(value) {}  // NOLINT: implicit, like an enum case

  // Every case in declaration order, which is also the settings picker's order.
  [[nodiscard]] static const std::array<ModelProvider, 4>& allCases();
  // The case with this raw value (exact, case-sensitive); absent for anything else.
  [[nodiscard]] static std::optional<ModelProvider> fromRawValue(std::string_view rawValue);

  [[nodiscard]] constexpr Value value() const { return value_; }
  // The raw value, as written in config.json.
  [[nodiscard]] std::string_view id() const;
  [[nodiscard]] std::string_view displayName() const;
  // "model." + raw value + ".api-key".
  [[nodiscard]] std::string apiKeyRef() const;
  // The service's public API address: https, no trailing slash.
  [[nodiscard]] std::string_view defaultBaseURL() const;
  [[nodiscard]] std::string_view defaultModel() const;

  bool operator==(const ModelProvider&) const = default;

 private:
  Value value_;
};

// Where the API key is kept: in config.json (plain text, the file only its owner may read), or
// in the desktop's secret store, config.json then carrying no key.
enum class APIKeyStorage { file, keyring };

// Which service to call and how; persisted as config.json.
struct ModelConfig {
  ModelProvider provider = ModelProvider::openAICompatible;
  std::string baseURL;  // as the user typed it; each provider normalises it
  std::string model;
  std::string apiKeyRef;  // with the provider, names the key in the secret store
  std::string apiKey;     // in memory always the key itself, wherever it is kept
  double temperature = 0.45;
  std::int64_t maxTokens = 900;
  APIKeyStorage apiKeyStorage = APIKeyStorage::file;
  // Ask the service to stream its reply, so candidates show as they are written. Off unless
  // chosen: some servers mishandle streaming.
  bool streamReplies = false;

  // The configuration used when no usable config.json exists.
  [[nodiscard]] static ModelConfig defaultConfig();

  // Decodes the config.json object. Missing or null keys take the read provider's defaults; a
  // wrong type, an unknown provider or an unknown key storage fails the whole decode.
  [[nodiscard]] static Result<ModelConfig> fromJson(const json::Json& object);
  // The seven keys of config.json, and "streamReplies" when it is on. A key kept in the keyring is left out
  // and "apiKeyStorage": "keyring" added instead; a reader that does not know the marker sees a configuration
  // without a key.
  [[nodiscard]] json::Json toJson() const;

  bool operator==(const ModelConfig&) const = default;
};

}  // namespace wrenfold
