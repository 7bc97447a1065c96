#pragma once

// A base address as the user typed it, parsed by the rules of RFC 3986 and reworked by the
// providers: the one URL parser of the model services.

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

#include "core/support/failure.h"

namespace wrenfold {

namespace service_url {
inline constexpr std::string_view kInvalidBaseURL = "baseURL 无效";
}  // namespace service_url

// A base address as the providers rework it: the scheme, host and port are kept as typed, the
// path and query stay percent-encoded, and additions are encoded as they are added.
class BaseURL {
 public:
  // Trims blanks and line breaks; when nothing is left, uses `fallback` instead (an empty
  // fallback means none); trims every "/" from both ends; parses. Fails with
  // AssistantError::network(service_url::kInvalidBaseURL) unless the result is a well-formed http or https
  // address with a host.
  [[nodiscard]] static Result<BaseURL> parse(std::string_view typed, std::string_view fallback = {});

  // The percent-encoded path, "" when the address has none.
  [[nodiscard]] const std::string& path() const { return path_; }
  // The host as typed, lower-cased, without user, port or IPv6 brackets.
  [[nodiscard]] std::string host() const;
  // "http" or "https", lower-cased.
  [[nodiscard]] std::string scheme() const;
  // Replaces the path or appends to it; characters a path may not hold are percent-encoded.
  void setPath(std::string_view text);
  void appendToPath(std::string_view text);
  // Keeps the first `length` bytes of the (encoded) path.
  void truncatePath(std::size_t length) { path_.resize(std::min(length, path_.size())); }
  // Appends "name=value" to the query (after any items already there), both fully encoded.
  void appendQueryItem(std::string_view name, std::string_view value);

  [[nodiscard]] std::string string() const;

 private:
  BaseURL() = default;
  std::string scheme_;
  std::string authority_;
  std::string path_;
  std::optional<std::string> query_;
  std::optional<std::string> fragment_;
};

}  // namespace wrenfold
