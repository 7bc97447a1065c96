#pragma once

// Where each protocol's requests go, worked out from the base URL the user typed: the one
// place that knows how a service's path, its version segment and its method fit together.
// The providers, the model list and the connection test all compose their addresses here.

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

#include "core/ai/base_url.h"
#include "core/ai/model_config.h"
#include "core/records/assistant_error.h"
#include "core/support/failure.h"

namespace wrenfold {

namespace service_url {

// The base URL a configuration means: OpenRouter left on the OpenAI default address (the
// picker keeps it until the user changes it) is OpenRouter's own. Others are unchanged.
[[nodiscard]] std::string effectiveBaseURL(const ModelConfig& config);

// Whether the path already ends in an API version: "/v1", "/v1beta", "/v2alpha", "/api/v3",
// "/api/paas/v4", or Gemini's OpenAI-compatible "/v1beta/openai".
[[nodiscard]] bool endsWithVersion(std::string_view path);

// The chat-completions endpoint: "/v1/chat/completions" added to a bare host or a path
// without a version, "/chat/completions" after a version, a full endpoint kept. An empty base
// URL is invalid (no default).
[[nodiscard]] Result<std::string> chatCompletions(std::string_view baseURL);
// The messages endpoint, the Anthropic host when blank; the same version rule.
[[nodiscard]] Result<std::string> anthropicMessages(std::string_view baseURL);
// The generateContent endpoint of `model` ("models/x" is taken as "x"), the Gemini host when
// blank; a path already naming ":generateContent" is kept and the model not used.
[[nodiscard]] Result<std::string> geminiGenerateContent(std::string_view baseURL, std::string_view model);
// The model list of the configured service, from the same base URL: "/models" beside the
// method the base URL would reach.
[[nodiscard]] Result<BaseURL> modelList(const ModelConfig& config);

// Whether the host is this machine ("localhost", 127.0.0.0/8, ::1) or an address of a private
// network (10/8, 172.16/12, 192.168/16, link-local, IPv6 unique-local): a server there needs
// no key and gets none when the key is empty. A name other than localhost is not resolved.
[[nodiscard]] bool isLocalHost(std::string_view host);
// The address a configuration's requests go to is local in that sense (a blank Anthropic or
// Gemini address is their public host).
[[nodiscard]] bool isLocalService(const ModelConfig& config);
// A key for this configuration would travel unencrypted over a network: plain http to a host
// that is neither loopback nor private.
[[nodiscard]] bool sendsKeyInClear(const ModelConfig& config);

// A Gemini model identifier without the "models/" resource prefix the service lists it with.
[[nodiscard]] std::string_view geminiModelID(std::string_view model);

}  // namespace service_url
}  // namespace wrenfold
