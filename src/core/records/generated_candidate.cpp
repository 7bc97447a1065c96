#include "core/records/generated_candidate.h"

namespace wrenfold {
namespace {

template <class J>
Result<GeneratedCandidate> decode(const J& object) {
  if (!object.is_object()) {
    return fail(json::decodingFailure("候选应为对象"));
  }
  auto idText = json::requireString(object, "id");
  if (!idText) {
    return fail(idText.error());
  }
  auto id = Uuid::parse(*idText);
  if (!id) {
    return fail(json::decodingFailure("\"id\" 不是有效的 UUID"));
  }
  auto text = json::requireString(object, "text");
  if (!text) {
    return fail(text.error());
  }
  auto title = json::optionalString(object, "title");
  if (!title) {
    return fail(title.error());
  }
  auto confidence = json::requireNumber(object, "confidence");
  if (!confidence) {
    return fail(confidence.error());
  }
  return GeneratedCandidate{*id, std::move(*text), std::move(*title), *confidence};
}

}  // namespace

json::OrderedJson GeneratedCandidate::toJson() const {
  json::OrderedJson object = json::OrderedJson::object();
  object["id"] = id.string();
  object["text"] = text;
  if (title) {
    object["title"] = *title;
  }
  object["confidence"] = confidence;
  return object;
}

Result<GeneratedCandidate> GeneratedCandidate::fromJson(const json::Json& object) {
  return decode(object);
}

Result<GeneratedCandidate> GeneratedCandidate::fromJson(const json::OrderedJson& object) {
  return decode(object);
}

}  // namespace wrenfold
