#include "core/ai/service_url.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>

#include "core/records/assistant_error.h"
#include "core/text/text.h"

namespace wrenfold {
namespace {

std::string_view lastSegment(std::string_view path) {
  const auto slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool isDigits(std::string_view s) {
  return !s.empty() && std::ranges::all_of(s, [](char c) { return c >= '0' && c <= '9'; });
}

// "v" + digits, optionally "alpha" or "beta" and more digits: v1, v1beta, v2alpha1.
bool isVersionSegment(std::string_view segment) {
  if (!segment.starts_with('v')) {
    return false;
  }
  segment.remove_prefix(1);
  const auto digitsEnd = std::min(segment.find_first_not_of("0123456789"), segment.size());
  if (digitsEnd == 0) {
    return false;
  }
  segment.remove_prefix(digitsEnd);
  for (const std::string_view stage : {"alpha", "beta"}) {
    if (segment.starts_with(stage)) {
      segment.remove_prefix(stage.size());
      return segment.empty() || isDigits(segment);
    }
  }
  return segment.empty();
}

// A bare host gets `version` + `method`, a versioned path only `method`, any other path
// (a proxy's prefix) `version` + `method`.
void appendMethod(BaseURL& url, std::string_view version, std::string_view method) {
  const std::string& path = url.path();
  if (path.empty() || path == "/") {
    url.setPath(std::string(version) + std::string(method));
  } else if (service_url::endsWithVersion(path)) {
    url.appendToPath(method);
  } else {
    url.appendToPath(std::string(version) + std::string(method));
  }
}

void dropSuffix(BaseURL& url, std::string_view suffix) {
  if (url.path().ends_with(suffix)) {
    url.truncatePath(url.path().size() - suffix.size());
  }
}

}  // namespace

namespace service_url {

namespace {

std::optional<std::array<int, 4>> ipv4(std::string_view host) {
  std::array<int, 4> parts{};
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const auto dot = host.find('.');
    const std::string_view part = i + 1 < parts.size() ? host.substr(0, dot) : host;
    if (part.empty() || part.size() > 3 || (i + 1 < parts.size() && dot == std::string_view::npos)) {
      return std::nullopt;
    }
    const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), parts[i]);
    if (error != std::errc() || end != part.data() + part.size() || parts[i] > 255) {
      return std::nullopt;
    }
    host.remove_prefix(i + 1 < parts.size() ? dot + 1 : host.size());
  }
  return parts;
}

Result<BaseURL> requestBase(const ModelConfig& config) {
  const bool ownHost =
      config.provider == ModelProvider::anthropic || config.provider == ModelProvider::gemini;
  return BaseURL::parse(effectiveBaseURL(config), ownHost ? config.provider.defaultBaseURL() : "");
}

}  // namespace

bool isLocalHost(std::string_view host) {
  if (host == "localhost" || host.ends_with(".localhost")) {
    return true;
  }
  if (const auto v4 = ipv4(host)) {
    const auto [a, b, c, d] = *v4;
    return a == 127 || a == 10 || (a == 172 && b >= 16 && b <= 31) || (a == 192 && b == 168) ||
           (a == 169 && b == 254);
  }
  if (host.find(':') == std::string_view::npos) {
    return false;
  }
  return host == "::1" || host.starts_with("fc") || host.starts_with("fd") || host.starts_with("fe8") ||
         host.starts_with("fe9") || host.starts_with("fea") || host.starts_with("feb");
}

bool isLocalService(const ModelConfig& config) {
  const auto url = requestBase(config);
  return url && isLocalHost(url->host());
}

bool sendsKeyInClear(const ModelConfig& config) {
  const auto url = requestBase(config);
  return url && url->scheme() == "http" && !isLocalHost(url->host());
}

std::string effectiveBaseURL(const ModelConfig& config) {
  if (config.provider == ModelProvider::openRouter &&
      text::trim(config.baseURL) == ModelConfig::defaultConfig().baseURL) {
    return std::string(ModelProvider(ModelProvider::openRouter).defaultBaseURL());
  }
  return config.baseURL;
}

bool endsWithVersion(std::string_view path) {
  return path.ends_with("/v1beta/openai") || isVersionSegment(lastSegment(path));
}

Result<std::string> chatCompletions(std::string_view baseURL) {
  auto url = BaseURL::parse(baseURL);
  if (!url) {
    return fail(url.error());
  }
  if (!url->path().ends_with("/chat/completions")) {
    appendMethod(*url, "/v1", "/chat/completions");
  }
  return url->string();
}

Result<std::string> anthropicMessages(std::string_view baseURL) {
  auto url = BaseURL::parse(baseURL, ModelProvider(ModelProvider::anthropic).defaultBaseURL());
  if (!url) {
    return fail(url.error());
  }
  if (!url->path().ends_with("/messages")) {
    appendMethod(*url, "/v1", "/messages");
  }
  return url->string();
}

Result<std::string> geminiGenerateContent(std::string_view baseURL, std::string_view model) {
  auto url = BaseURL::parse(baseURL, ModelProvider(ModelProvider::gemini).defaultBaseURL());
  if (!url) {
    return fail(url.error());
  }
  if (url->path().find(":generateContent") == std::string::npos) {
    // The model goes in as stored; characters a path may not hold are percent-encoded.
    appendMethod(*url, "/v1beta", "/models/" + std::string(geminiModelID(model)) + ":generateContent");
  }
  return url->string();
}

Result<BaseURL> modelList(const ModelConfig& config) {
  const ModelProvider provider = config.provider;
  const std::string baseURL = effectiveBaseURL(config);
  auto url = provider == ModelProvider::openAICompatible || provider == ModelProvider::openRouter
                 ? BaseURL::parse(baseURL)
                 : BaseURL::parse(baseURL, provider.defaultBaseURL());
  if (!url) {
    return url;
  }
  switch (provider.value()) {
    case ModelProvider::openAICompatible:
    case ModelProvider::openRouter:
      dropSuffix(*url, "/chat/completions");
      appendMethod(*url, "/v1", "/models");
      break;
    case ModelProvider::anthropic:
      dropSuffix(*url, "/messages");
      appendMethod(*url, "/v1", "/models");
      break;
    case ModelProvider::gemini:
      // A full method address ".../v1beta/models/x:generateContent" lists from ".../v1beta".
      if (const auto method = url->path().find(":generateContent"); method != std::string::npos) {
        const auto models = url->path().rfind("/models/", method);
        url->truncatePath(models != std::string::npos ? models : url->path().rfind('/', method));
      }
      appendMethod(*url, "/v1beta", "/models");
      break;
  }
  return url;
}

std::string_view geminiModelID(std::string_view model) {
  return model.starts_with("models/") ? model.substr(7) : model;
}

}  // namespace service_url
}  // namespace wrenfold
