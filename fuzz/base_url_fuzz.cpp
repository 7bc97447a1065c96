// The base URL the user types, through every address the providers compose from it: each
// result is an http(s) address without blanks or control characters, and a parsed base URL
// parses again to itself.

#include "core/ai/service_url.h"
#include "fuzz_check.h"

namespace wrenfold {
namespace {

void requireAddress(const Result<std::string>& url) {
  if (!url) {
    return;
  }
  FUZZ_REQUIRE_UTF8(*url);
  const std::string scheme = text::lowercased(url->substr(0, url->find(':')));  // kept as typed
  FUZZ_REQUIRE(scheme == "http" || scheme == "https");
  FUZZ_REQUIRE(url->substr(scheme.size()).starts_with("://"));
  for (const char c : *url) {
    FUZZ_REQUIRE(static_cast<unsigned char>(c) > 0x20 && c != 0x7F);
  }
}

}  // namespace
}  // namespace wrenfold

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace wrenfold;
  const auto parts = fuzz::fields(fuzz::text(data, size), 3);
  const std::string typed = text::repairUtf8(parts[0]);
  const std::string model = text::repairUtf8(parts[1]);
  requireAddress(service_url::chatCompletions(typed));
  requireAddress(service_url::anthropicMessages(typed));
  requireAddress(service_url::geminiGenerateContent(typed, model));
  if (auto base = BaseURL::parse(typed)) {
    base->appendToPath("/" + std::string(parts[2]));  // the callers add whole segments
    base->appendQueryItem(model, parts[2]);
    const std::string once = base->string();
    requireAddress(once);
    const auto again = BaseURL::parse(once);
    FUZZ_REQUIRE(again.has_value());
    FUZZ_REQUIRE(again->string() == once);
  }
  for (const ModelProvider provider : ModelProvider::allCases()) {
    ModelConfig config = ModelConfig::defaultConfig();
    config.provider = provider;
    config.baseURL = typed;
    config.model = model;
    if (const auto list = service_url::modelList(config)) {
      requireAddress(list->string());
    }
  }
  return 0;
}
