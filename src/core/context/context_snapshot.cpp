#include "core/context/context_snapshot.h"

#include <utility>

#include "core/text/text.h"

namespace wrenfold {
namespace {

template <class J>
void putIfPresent(J& object, const char* key, const std::optional<std::string>& value) {
  if (value) {
    object[key] = *value;
  }
}

// Reads one field into `target`, or leaves the failure in `failure` for the caller to return.
template <class T>
bool take(Result<T> value, T& target, std::optional<Failure>& failure) {
  if (!value) {
    failure = std::move(value.error());
    return false;
  }
  target = std::move(*value);
  return true;
}

template <class J>
Result<ContextSource> decodeSource(const J& object) {
  auto raw = json::requireString(object, "source");
  if (!raw) {
    return fail(raw.error());
  }
  if (auto source = contextSourceFromRawValue(*raw)) {
    return *source;
  }
  return fail(json::decodingFailure("\"source\" 不是已知的上下文来源"));
}

template <class J>
Result<ContextSnapshot> decode(const J& object) {
  if (!object.is_object()) {
    return fail(json::decodingFailure("上下文快照应为对象"));
  }
  ContextSnapshot s;
  std::optional<Failure> failure;
  const bool ok = take(decodeSource(object), s.source, failure) &&
                  take(json::requireString(object, "appName"), s.appName, failure) &&
                  take(json::requireString(object, "appBundleID"), s.appBundleID, failure) &&
                  take(json::optionalString(object, "windowTitle"), s.windowTitle, failure) &&
                  take(json::optionalString(object, "focusedText"), s.focusedText, failure) &&
                  take(json::requireString(object, "visibleText"), s.visibleText, failure) &&
                  take(json::optionalString(object, "selectedText"), s.selectedText, failure) &&
                  take(json::optionalString(object, "nearbyText"), s.nearbyText, failure) &&
                  take(json::requireNumber(object, "confidence"), s.confidence, failure) &&
                  take(json::requireStringArray(object, "warnings"), s.warnings, failure);
  if (!ok) {
    return fail(std::move(*failure));
  }
  return s;
}

}  // namespace

std::string_view rawValue(ContextSource source) {
  switch (source) {
    case ContextSource::accessibility:
      return "accessibility";
    case ContextSource::selectedText:
      return "selectedText";
    case ContextSource::screenshot:
      return "screenshot";
    case ContextSource::clipboardFallback:
      return "clipboardFallback";
    case ContextSource::manual:
      return "manual";
  }
  return "accessibility";
}

std::optional<ContextSource> contextSourceFromRawValue(std::string_view raw) {
  for (const ContextSource source : kAllContextSources) {
    if (rawValue(source) == raw) {
      return source;
    }
  }
  return std::nullopt;
}

std::string ContextSnapshot::bestText() const {
  for (const auto* candidate : {&selectedText, &focusedText, &nearbyText}) {
    if (*candidate) {
      if (std::string trimmed = text::trim(**candidate); !trimmed.empty()) {
        return trimmed;
      }
    }
  }
  return text::trim(visibleText);
}

json::OrderedJson ContextSnapshot::toJson() const {
  json::OrderedJson object = json::OrderedJson::object();
  object["source"] = rawValue(source);
  object["appName"] = appName;
  object["appBundleID"] = appBundleID;
  putIfPresent(object, "windowTitle", windowTitle);
  putIfPresent(object, "focusedText", focusedText);
  object["visibleText"] = visibleText;
  putIfPresent(object, "selectedText", selectedText);
  putIfPresent(object, "nearbyText", nearbyText);
  object["confidence"] = confidence;
  object["warnings"] = warnings;
  return object;
}

Result<ContextSnapshot> ContextSnapshot::fromJson(const json::Json& object) {
  return decode(object);
}

Result<ContextSnapshot> ContextSnapshot::fromJson(const json::OrderedJson& object) {
  return decode(object);
}

}  // namespace wrenfold
