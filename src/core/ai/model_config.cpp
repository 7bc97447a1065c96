#include "core/ai/model_config.h"

#include <utility>

namespace wrenfold {
namespace {

constexpr double kDefaultTemperature = 0.45;
constexpr std::int64_t kDefaultMaxTokens = 900;
constexpr std::string_view kStorageKey = "apiKeyStorage";
constexpr std::string_view kStreamKey = "streamReplies";
constexpr std::string_view kFileStorage = "file";
constexpr std::string_view kKeyringStorage = "keyring";

struct ProviderTraits {
  std::string_view rawValue;
  std::string_view displayName;
  std::string_view defaultBaseURL;
  std::string_view defaultModel;
};

// Indexed by ModelProvider::Value. The default models are ones the services list today (the
// first recommendations were retired); a stored configuration keeps the model it names.
constexpr std::array<ProviderTraits, 4> kTraits{{
    {"openAICompatible", "OpenAI-compatible", "https://api.openai.com", "gpt-4.1-mini"},
    {"openRouter", "OpenRouter", "https://openrouter.ai/api/v1", "openai/gpt-4.1-mini"},
    {"anthropic", "Anthropic", "https://api.anthropic.com", "claude-sonnet-4-5"},
    {"gemini", "Gemini", "https://generativelanguage.googleapis.com", "gemini-2.5-flash"},
}};

const ProviderTraits& traitsOf(ModelProvider provider) {
  return kTraits.at(static_cast<std::size_t>(provider.value()));
}

// Reads optional fields one after another and keeps the first failure, so the decoder reads as
// a list of fields with their defaults.
class FieldReader {
 public:
  explicit FieldReader(const json::Json& object) : object_(object) {}

  [[nodiscard]] std::optional<std::string> string(std::string_view key) {
    return take(json::optionalString(object_, key));
  }
  [[nodiscard]] std::optional<double> number(std::string_view key) {
    return take(json::optionalNumber(object_, key));
  }
  [[nodiscard]] std::optional<std::int64_t> integer(std::string_view key) {
    return take(json::optionalInteger(object_, key));
  }
  // Missing or null: absent; any other type than a boolean fails.
  [[nodiscard]] std::optional<bool> boolean(std::string_view key) {
    const auto it = object_.find(key);
    if (it == object_.end() || it->is_null()) {
      return std::nullopt;
    }
    auto value = json::requireBool(object_, key);
    if (!value) {
      failWith(std::move(value.error()));
      return std::nullopt;
    }
    return *value;
  }
  void failWith(Failure failure) {
    if (!failure_) {
      failure_ = std::move(failure);
    }
  }
  [[nodiscard]] const std::optional<Failure>& failure() const { return failure_; }

 private:
  template <class T>
  std::optional<T> take(Result<std::optional<T>> read) {
    if (!read) {
      failWith(std::move(read.error()));
      return std::nullopt;
    }
    return std::move(*read);
  }

  const json::Json& object_;
  std::optional<Failure> failure_;
};

}  // namespace

const std::array<ModelProvider, 4>& ModelProvider::allCases() {
  static constexpr std::array<ModelProvider, 4> kAll{openAICompatible, openRouter, anthropic, gemini};
  return kAll;
}

std::optional<ModelProvider> ModelProvider::fromRawValue(std::string_view rawValue) {
  for (const ModelProvider provider : allCases()) {
    if (provider.id() == rawValue) {
      return provider;
    }
  }
  return std::nullopt;
}

std::string_view ModelProvider::id() const {
  return traitsOf(*this).rawValue;
}
std::string_view ModelProvider::displayName() const {
  return traitsOf(*this).displayName;
}
std::string ModelProvider::apiKeyRef() const {
  return "model." + std::string(id()) + ".api-key";
}
std::string_view ModelProvider::defaultBaseURL() const {
  return traitsOf(*this).defaultBaseURL;
}
std::string_view ModelProvider::defaultModel() const {
  return traitsOf(*this).defaultModel;
}

ModelConfig ModelConfig::defaultConfig() {
  const ModelProvider provider = ModelProvider::openAICompatible;
  // The default key reference is hyphenated, unlike the one the provider derives; existing
  // files carry it, so it stays.
  return ModelConfig{provider,
                     std::string(provider.defaultBaseURL()),
                     std::string(provider.defaultModel()),
                     "model.openai-compatible.api-key",
                     "",
                     kDefaultTemperature,
                     kDefaultMaxTokens,
                     APIKeyStorage::file};
}

Result<ModelConfig> ModelConfig::fromJson(const json::Json& object) {
  if (!object.is_object()) {
    return fail(json::decodingFailure("配置应为 JSON 对象"));
  }
  FieldReader read(object);
  ModelProvider provider = ModelProvider::openAICompatible;
  if (const auto rawValue = read.string("provider")) {
    if (const auto known = ModelProvider::fromRawValue(*rawValue)) {
      provider = *known;
    } else {
      read.failWith(json::decodingFailure("\"provider\" 不是已知的服务"));
    }
  }
  ModelConfig config{provider,
                     read.string("baseURL").value_or(std::string(provider.defaultBaseURL())),
                     read.string("model").value_or(std::string(provider.defaultModel())),
                     read.string("apiKeyRef").value_or(provider.apiKeyRef()),
                     read.string("apiKey").value_or(""),
                     read.number("temperature").value_or(kDefaultTemperature),
                     read.integer("maxTokens").value_or(kDefaultMaxTokens),
                     APIKeyStorage::file};
  if (const auto storage = read.string(kStorageKey)) {
    if (*storage == kKeyringStorage) {
      config.apiKeyStorage = APIKeyStorage::keyring;
      config.apiKey.clear();  // a key beside the marker is stale: the keyring's is the one
    } else if (*storage != kFileStorage) {
      read.failWith(json::decodingFailure("\"apiKeyStorage\" 不是已知的保存位置"));
    }
  }
  config.streamReplies = read.boolean(kStreamKey).value_or(false);
  if (read.failure()) {
    return fail(*read.failure());
  }
  return config;
}

json::Json ModelConfig::toJson() const {
  json::Json object{{"provider", std::string(provider.id())},
                    {"baseURL", baseURL},
                    {"model", model},
                    {"apiKeyRef", apiKeyRef},
                    {"apiKey", apiKey},
                    {"temperature", temperature},
                    {"maxTokens", maxTokens}};
  if (apiKeyStorage == APIKeyStorage::keyring) {
    object.erase("apiKey");
    object[std::string(kStorageKey)] = std::string(kKeyringStorage);
  }
  if (streamReplies) {
    object[std::string(kStreamKey)] = true;  // left out when off, so older files read back unchanged
  }
  return object;
}

}  // namespace wrenfold
