#pragma once

// JSON helpers over nlohmann_json. Parsing never throws: a failure is a value whose
// description says what and where. Encoding never throws: invalid UTF-8 becomes U+FFFD.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/support/failure.h"

namespace wrenfold::json {

using Json = nlohmann::json;                 // keys sorted (std::map): used for the pretty files
using OrderedJson = nlohmann::ordered_json;  // keys in insertion order: used where order is stated

// Parses `text`; malformed JSON is a failure "JSON 解析失败：..." naming the byte position.
[[nodiscard]] Result<Json> parse(std::string_view text);
[[nodiscard]] Result<OrderedJson> parseOrdered(std::string_view text);

// Compact form: no added white space.
[[nodiscard]] std::string dumpCompact(const Json& value);
[[nodiscard]] std::string dumpCompact(const OrderedJson& value);
// Pretty form with two-space indentation; with Json the keys come out sorted.
[[nodiscard]] std::string dumpPretty(const Json& value);

// Strict field readers for decoding records. "Required" fails when the key is missing or null
// or has the wrong type; "optional" gives nullopt for a missing or null key and fails on a
// wrong type. Failures are "JSON 解码失败：" followed by the key and the problem.
// Integers: 3 and 3.0 are accepted as 3 (the value is exactly integral); 3.5 and "3" fail.
template <class J>
[[nodiscard]] Result<std::string> requireString(const J& object, std::string_view key);
template <class J>
[[nodiscard]] Result<std::optional<std::string>> optionalString(const J& object, std::string_view key);
template <class J>
[[nodiscard]] Result<double> requireNumber(const J& object, std::string_view key);
template <class J>
[[nodiscard]] Result<std::optional<double>> optionalNumber(const J& object, std::string_view key);
template <class J>
[[nodiscard]] Result<std::int64_t> requireInteger(const J& object, std::string_view key);
template <class J>
[[nodiscard]] Result<std::optional<std::int64_t>> optionalInteger(const J& object, std::string_view key);
template <class J>
[[nodiscard]] Result<bool> requireBool(const J& object, std::string_view key);
template <class J>
[[nodiscard]] Result<std::vector<std::string>> requireStringArray(const J& object, std::string_view key);

// A decoding failure with the given detail.
[[nodiscard]] Failure decodingFailure(std::string_view detail);

}  // namespace wrenfold::json
