#include "core/templates/prompt_template.h"

#include <limits>
#include <utility>

namespace wrenfold {
namespace {

constexpr std::string_view kDecodingPrefix = "JSON 解码失败：";

std::string inQuotes(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

// The same decoding failure, with where in the document it happened put before the detail.
Failure located(const Failure& failure, std::string_view where) {
  const std::string description = failure.localizedDescription();
  std::string_view detail = description;
  if (detail.starts_with(kDecodingPrefix)) {
    detail.remove_prefix(kDecodingPrefix.size());
  }
  return json::decodingFailure(std::string(where) + "：" + std::string(detail));
}

// Reads one key after another into a record and keeps the first failure; once one key has
// failed, the later reads do nothing.
class FieldReader {
 public:
  explicit FieldReader(const json::Json& object) : object_(object) {}

  template <class T, class Read>
  void read(std::string_view key, T& target, Read&& readValue) {
    if (failure_) {
      return;
    }
    auto value = std::forward<Read>(readValue)(object_, key);
    if (!value) {
      failure_ = value.error();
      return;
    }
    target = std::move(*value);
  }

  [[nodiscard]] const std::optional<Failure>& failure() const { return failure_; }

 private:
  const json::Json& object_;
  std::optional<Failure> failure_;
};

template <class Enum>
Result<Enum> requireRawValue(const json::Json& object, std::string_view key,
                             std::optional<Enum> (*fromRawValue)(std::string_view)) {
  auto raw = json::requireString(object, key);
  if (!raw) {
    return fail(raw.error());
  }
  if (const auto value = fromRawValue(*raw)) {
    return *value;
  }
  return fail(json::decodingFailure(inQuotes(key) + " 的取值 " + inQuotes(*raw) + " 无效"));
}

Result<TemplateCategory> requireCategory(const json::Json& object, std::string_view key) {
  return requireRawValue(object, key, &templateCategoryFromRawValue);
}

Result<OutputMode> requireOutputMode(const json::Json& object, std::string_view key) {
  return requireRawValue(object, key, &outputModeFromRawValue);
}

Result<int> requireCount(const json::Json& object, std::string_view key) {
  auto value = json::requireInteger(object, key);
  if (!value) {
    return fail(value.error());
  }
  if (*value < std::numeric_limits<int>::min() || *value > std::numeric_limits<int>::max()) {
    return fail(json::decodingFailure(inQuotes(key) + " 超出整数范围"));
  }
  return static_cast<int>(*value);
}

Result<std::vector<TemplateVariable>> requireVariables(const json::Json& object, std::string_view key) {
  const auto it = object.find(key);
  if (it == object.end() || !it->is_array()) {
    return fail(
        json::decodingFailure(inQuotes(key) + (it == object.end() ? " 缺失" : " 类型错误，应为数组")));
  }
  std::vector<TemplateVariable> variables;
  variables.reserve(it->size());
  for (std::size_t index = 0; index < it->size(); ++index) {
    auto variable = TemplateVariable::fromJson((*it)[index]);
    if (!variable) {
      return fail(located(variable.error(), inQuotes(key) + " 的第 " + std::to_string(index + 1) + " 项"));
    }
    variables.push_back(std::move(*variable));
  }
  return variables;
}

}  // namespace

Result<TemplateVariable> TemplateVariable::fromJson(const json::Json& object) {
  if (!object.is_object()) {
    return fail(json::decodingFailure("变量必须是 JSON 对象"));
  }
  TemplateVariable variable;
  FieldReader in(object);
  in.read("name", variable.name, json::requireString<json::Json>);
  in.read("description", variable.description, json::requireString<json::Json>);
  in.read("required", variable.required, json::requireBool<json::Json>);
  if (in.failure()) {
    return fail(*in.failure());
  }
  return variable;
}

json::OrderedJson TemplateVariable::toJson() const {
  json::OrderedJson object = json::OrderedJson::object();
  object["name"] = name;
  object["description"] = description;
  object["required"] = required;
  return object;
}

Result<PromptTemplate> PromptTemplate::fromJson(const json::Json& object) {
  if (!object.is_object()) {
    return fail(json::decodingFailure("模板必须是 JSON 对象"));
  }
  PromptTemplate result;
  FieldReader in(object);
  in.read("id", result.id, json::requireString<json::Json>);
  in.read("title", result.title, json::requireString<json::Json>);
  in.read("category", result.category, requireCategory);
  in.read("iconName", result.iconName, json::requireString<json::Json>);
  in.read("shortcut", result.shortcut, json::optionalString<json::Json>);
  in.read("description", result.description, json::requireString<json::Json>);
  in.read("systemPrompt", result.systemPrompt, json::requireString<json::Json>);
  in.read("userPrompt", result.userPrompt, json::requireString<json::Json>);
  in.read("outputMode", result.outputMode, requireOutputMode);
  in.read("candidateCount", result.candidateCount, requireCount);
  in.read("variables", result.variables, requireVariables);
  in.read("matchPhrases", result.matchPhrases, json::requireStringArray<json::Json>);
  if (in.failure()) {
    return fail(*in.failure());
  }
  return result;
}

json::OrderedJson PromptTemplate::toJson() const {
  json::OrderedJson object = json::OrderedJson::object();
  object["id"] = id;
  object["title"] = title;
  object["category"] = std::string(rawValue(category));
  object["iconName"] = iconName;
  if (shortcut) {
    object["shortcut"] = *shortcut;
  }
  object["description"] = description;
  object["systemPrompt"] = systemPrompt;
  object["userPrompt"] = userPrompt;
  object["outputMode"] = std::string(rawValue(outputMode));
  object["candidateCount"] = candidateCount;
  json::OrderedJson variableArray = json::OrderedJson::array();
  for (const TemplateVariable& variable : variables) {
    variableArray.push_back(variable.toJson());
  }
  object["variables"] = std::move(variableArray);
  object["matchPhrases"] = matchPhrases;
  return object;
}

Result<std::vector<PromptTemplate>> decodeTemplateList(std::string_view bytes) {
  auto document = json::parse(bytes);
  if (!document) {
    return fail(document.error());
  }
  if (!document->is_array()) {
    return fail(json::decodingFailure("模板文件的顶层必须是数组"));
  }
  std::vector<PromptTemplate> templates;
  templates.reserve(document->size());
  for (std::size_t index = 0; index < document->size(); ++index) {
    auto decoded = PromptTemplate::fromJson((*document)[index]);
    if (!decoded) {
      return fail(located(decoded.error(), "第 " + std::to_string(index + 1) + " 个模板"));
    }
    templates.push_back(std::move(*decoded));
  }
  return templates;
}

}  // namespace wrenfold
