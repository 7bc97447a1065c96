#include "core/support/json.h"

#include <cmath>
#include <limits>

namespace wrenfold::json {
namespace {

// Deeper documents are refused before parsing: copying, comparing and dumping nested values
// recurse, and a hostile reply must not be able to exhaust the stack.
constexpr int kMaxDepth = 512;

std::unexpected<Failure> parseFailure(std::string_view detail) {
  return failPlatform("JSON 解析失败：" + std::string(detail));
}

// Byte offset (1-based) at which nesting first exceeds the limit, or 0 when it never does.
std::size_t excessiveNestingAt(std::string_view text) {
  int depth = 0;
  bool inString = false;
  bool escaped = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        inString = false;
      }
      continue;
    }
    if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kMaxDepth) {
        return i + 1;
      }
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return 0;
}

// nlohmann's message without its "last read: ..." tail, which quotes the input (it may hold
// a key).
std::string describe(const nlohmann::detail::parse_error& e) {
  std::string message = e.what();
  if (const auto colon = message.find(": "); colon != std::string::npos) {
    message.erase(0, colon + 2);
  }
  if (const auto tail = message.find("; last read"); tail != std::string::npos) {
    message.erase(tail);
  }
  return "第 " + std::to_string(e.byte) + " 字节处 " + message;
}

template <class J>
Result<J> parseAs(std::string_view text) {
  if (const std::size_t at = excessiveNestingAt(text); at != 0) {
    return parseFailure("第 " + std::to_string(at) + " 字节处 嵌套超过 " + std::to_string(kMaxDepth) + " 层");
  }
  try {
    return J::parse(text.begin(), text.end());
  } catch (const nlohmann::detail::parse_error& e) {
    return parseFailure(describe(e));
  } catch (const std::exception& e) {
    return parseFailure(e.what());
  }
}

template <class J>
std::string dump(const J& value, int indent) {
  try {
    return value.dump(indent, ' ', false, nlohmann::detail::error_handler_t::replace);
  } catch (const std::exception&) {
    return {};  // only allocation can fail here
  }
}

std::string quoted(std::string_view key) {
  std::string text(1, '"');
  text.append(key).push_back('"');
  return text;
}

std::unexpected<Failure> fieldFailure(std::string_view key, std::string_view problem) {
  return std::unexpected(decodingFailure(quoted(key) + " " + std::string(problem)));
}

// The value under `key`, or null when the key is missing or `object` is not an object.
template <class J>
const J* find(const J& object, std::string_view key) {
  if (!object.is_object()) {
    return nullptr;
  }
  const auto it = object.find(key);
  return it == object.end() ? nullptr : &*it;
}

template <class J>
Result<const J*> present(const J& object, std::string_view key) {
  if (!object.is_object()) {
    return std::unexpected(decodingFailure("应为对象，读取 " + quoted(key) + " 失败"));
  }
  const J* value = find(object, key);
  if (value == nullptr) {
    return fieldFailure(key, "缺失");
  }
  if (value->is_null()) {
    return fieldFailure(key, "为 null");
  }
  return value;
}

std::optional<std::int64_t> exactInteger(double d) {
  // 2^63 is exactly representable; anything at or above it does not fit.
  constexpr double kLimit = 9223372036854775808.0;
  if (!std::isfinite(d) || std::trunc(d) != d || d < -kLimit || d >= kLimit) {
    return std::nullopt;
  }
  return static_cast<std::int64_t>(d);
}

template <class J>
Result<std::int64_t> integerValue(const J& value, std::string_view key) {
  if (value.is_number_unsigned()) {
    const auto u = value.template get<std::uint64_t>();
    if (u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      return fieldFailure(key, "超出整数范围");
    }
    return static_cast<std::int64_t>(u);
  }
  if (value.is_number_integer()) {
    return value.template get<std::int64_t>();
  }
  if (value.is_number_float()) {
    if (auto exact = exactInteger(value.template get<double>())) {
      return *exact;
    }
    return fieldFailure(key, "不是整数");
  }
  return fieldFailure(key, "类型错误，应为整数");
}

}  // namespace

Failure decodingFailure(std::string_view detail) {
  return Failure::platform("JSON 解码失败：" + std::string(detail));
}

Result<Json> parse(std::string_view text) {
  return parseAs<Json>(text);
}
Result<OrderedJson> parseOrdered(std::string_view text) {
  return parseAs<OrderedJson>(text);
}

std::string dumpCompact(const Json& value) {
  return dump(value, -1);
}
std::string dumpCompact(const OrderedJson& value) {
  return dump(value, -1);
}
std::string dumpPretty(const Json& value) {
  return dump(value, 2);
}

template <class J>
Result<std::string> requireString(const J& object, std::string_view key) {
  auto value = present(object, key);
  if (!value) {
    return std::unexpected(std::move(value.error()));
  }
  if (!(*value)->is_string()) {
    return fieldFailure(key, "类型错误，应为字符串");
  }
  return (*value)->template get<std::string>();
}

template <class J>
Result<std::optional<std::string>> optionalString(const J& object, std::string_view key) {
  const J* value = find(object, key);
  if (value == nullptr || value->is_null()) {
    return std::optional<std::string>();
  }
  if (!value->is_string()) {
    return fieldFailure(key, "类型错误，应为字符串");
  }
  return value->template get<std::string>();
}

template <class J>
Result<double> requireNumber(const J& object, std::string_view key) {
  auto value = present(object, key);
  if (!value) {
    return std::unexpected(std::move(value.error()));
  }
  if (!(*value)->is_number()) {
    return fieldFailure(key, "类型错误，应为数字");
  }
  return (*value)->template get<double>();
}

template <class J>
Result<std::optional<double>> optionalNumber(const J& object, std::string_view key) {
  const J* value = find(object, key);
  if (value == nullptr || value->is_null()) {
    return std::optional<double>();
  }
  if (!value->is_number()) {
    return fieldFailure(key, "类型错误，应为数字");
  }
  return value->template get<double>();
}

template <class J>
Result<std::int64_t> requireInteger(const J& object, std::string_view key) {
  auto value = present(object, key);
  if (!value) {
    return std::unexpected(std::move(value.error()));
  }
  return integerValue(**value, key);
}

template <class J>
Result<std::optional<std::int64_t>> optionalInteger(const J& object, std::string_view key) {
  const J* value = find(object, key);
  if (value == nullptr || value->is_null()) {
    return std::optional<std::int64_t>();
  }
  auto integer = integerValue(*value, key);
  if (!integer) {
    return std::unexpected(std::move(integer.error()));
  }
  return std::optional<std::int64_t>(*integer);
}

template <class J>
Result<bool> requireBool(const J& object, std::string_view key) {
  auto value = present(object, key);
  if (!value) {
    return std::unexpected(std::move(value.error()));
  }
  if (!(*value)->is_boolean()) {
    return fieldFailure(key, "类型错误，应为布尔值");
  }
  return (*value)->template get<bool>();
}

template <class J>
Result<std::vector<std::string>> requireStringArray(const J& object, std::string_view key) {
  auto value = present(object, key);
  if (!value) {
    return std::unexpected(std::move(value.error()));
  }
  if (!(*value)->is_array()) {
    return fieldFailure(key, "类型错误，应为字符串数组");
  }
  std::vector<std::string> strings;
  strings.reserve((*value)->size());
  for (const J& element : **value) {
    if (!element.is_string()) {
      return fieldFailure(key, "的第 " + std::to_string(strings.size() + 1) + " 项不是字符串");
    }
    strings.push_back(element.template get<std::string>());
  }
  return strings;
}

#define WRENFOLD_JSON_INSTANTIATE(J)                                                           \
  template Result<std::string> requireString<J>(const J&, std::string_view);                   \
  template Result<std::optional<std::string>> optionalString<J>(const J&, std::string_view);   \
  template Result<double> requireNumber<J>(const J&, std::string_view);                        \
  template Result<std::optional<double>> optionalNumber<J>(const J&, std::string_view);        \
  template Result<std::int64_t> requireInteger<J>(const J&, std::string_view);                 \
  template Result<std::optional<std::int64_t>> optionalInteger<J>(const J&, std::string_view); \
  template Result<bool> requireBool<J>(const J&, std::string_view);                            \
  template Result<std::vector<std::string>> requireStringArray<J>(const J&, std::string_view);

WRENFOLD_JSON_INSTANTIATE(Json)
WRENFOLD_JSON_INSTANTIATE(OrderedJson)

#undef WRENFOLD_JSON_INSTANTIATE

}  // namespace wrenfold::json
