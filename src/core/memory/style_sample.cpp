#include "core/memory/style_sample.h"

#include "core/memory/json_date.h"

namespace wrenfold {

namespace {

Result<Uuid> requireUuid(const json::Json& object, std::string_view key) {
  auto text = json::requireString(object, key);
  if (!text) {
    return fail(text.error());
  }
  auto id = Uuid::parse(*text);
  if (!id) {
    return fail(json::decodingFailure(std::string(key) + " 不是有效的 UUID"));
  }
  return *id;
}

}  // namespace

json::Json StyleSample::toJson() const {
  return json::Json{{"id", id.string()},
                    {"text", text},
                    {"templateID", templateID},
                    {"appName", appName},
                    {"createdAt", timefmt::iso8601(createdAt)}};
}

Result<StyleSample> StyleSample::fromJson(const json::Json& object) {
  if (!object.is_object()) {
    return fail(json::decodingFailure("recentSamples 的元素不是对象"));
  }
  auto id = requireUuid(object, "id");
  if (!id) {
    return fail(id.error());
  }
  auto text = json::requireString(object, "text");
  if (!text) {
    return fail(text.error());
  }
  auto templateID = json::requireString(object, "templateID");
  if (!templateID) {
    return fail(templateID.error());
  }
  auto appName = json::requireString(object, "appName");
  if (!appName) {
    return fail(appName.error());
  }
  auto createdAt = json::requireDate(object, "createdAt");
  if (!createdAt) {
    return fail(createdAt.error());
  }
  return StyleSample{*id, std::move(*text), std::move(*templateID), std::move(*appName), *createdAt};
}

}  // namespace wrenfold
