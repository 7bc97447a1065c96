#include "core/memory/style_memory.h"

#include <algorithm>
#include <iterator>

#include "core/memory/json_date.h"
#include "core/security/redactor.h"
#include "core/text/text.h"

namespace wrenfold {

namespace {

std::string joined(const std::vector<std::string>& parts, std::string_view separator) {
  std::string out;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) {
      out += separator;
    }
    out += parts[i];
  }
  return out;
}

std::vector<std::string> bulletLines(const std::vector<std::string>& items,
                                     std::span<const std::string> secrets) {
  std::vector<std::string> lines;
  lines.reserve(items.size());
  for (const std::string& item : items) {
    lines.push_back("- " + Redactor::redact(item, secrets));
  }
  return lines;
}

std::vector<std::string> newestSampleLines(const std::vector<StyleSample>& samples,
                                           std::span<const std::string> secrets) {
  const std::size_t shown = std::min(samples.size(), StyleMemory::promptSampleCount);
  std::vector<std::string> lines;
  for (auto it = samples.end() - static_cast<std::ptrdiff_t>(shown); it != samples.end(); ++it) {
    lines.push_back(
        "- " + text::graphemePrefix(Redactor::redact(it->text, secrets), StyleMemory::promptSampleLength));
  }
  return lines;
}

Result<std::vector<StyleSample>> requireSamples(const json::Json& object, std::string_view key) {
  const auto found = object.find(std::string(key));
  if (found == object.end() || !found->is_array()) {
    return fail(json::decodingFailure(std::string(key) + " 缺失或不是数组"));
  }
  std::vector<StyleSample> samples;
  for (const json::Json& element : *found) {
    auto sample = StyleSample::fromJson(element);
    if (!sample) {
      return fail(sample.error());
    }
    samples.push_back(std::move(*sample));
  }
  return samples;
}

}  // namespace

StyleMemory StyleMemory::empty(timefmt::SystemTime now) {
  return StyleMemory{{}, {}, {}, now};
}

std::string StyleMemory::promptSummary(std::span<const std::string> knownSecrets) const {
  std::vector<std::string> sections;
  if (std::string preference = text::trim(userWrittenPreference); !preference.empty()) {
    sections.push_back("用户偏好：" + Redactor::redact(preference, knownSecrets));
  }
  if (!summaryBullets.empty()) {
    sections.push_back("语气规则：\n" + joined(bulletLines(summaryBullets, knownSecrets), "\n"));
  }
  if (!recentSamples.empty()) {
    sections.push_back("最近采用过的表达样本：\n" +
                       joined(newestSampleLines(recentSamples, knownSecrets), "\n"));
  }
  return sections.empty() ? std::string("无") : joined(sections, "\n\n");
}

json::Json StyleMemory::toJson() const {
  json::Json samples = json::Json::array();
  for (const StyleSample& sample : recentSamples) {
    samples.push_back(sample.toJson());
  }
  return json::Json{{"userWrittenPreference", userWrittenPreference},
                    {"summaryBullets", summaryBullets},
                    {"recentSamples", std::move(samples)},
                    {"updatedAt", timefmt::iso8601(updatedAt)}};
}

Result<StyleMemory> StyleMemory::fromJson(const json::Json& object) {
  if (!object.is_object()) {
    return fail(json::decodingFailure("风格记忆不是对象"));
  }
  auto preference = json::requireString(object, "userWrittenPreference");
  if (!preference) {
    return fail(preference.error());
  }
  auto bullets = json::requireStringArray(object, "summaryBullets");
  if (!bullets) {
    return fail(bullets.error());
  }
  auto samples = requireSamples(object, "recentSamples");
  if (!samples) {
    return fail(samples.error());
  }
  auto updatedAt = json::requireDate(object, "updatedAt");
  if (!updatedAt) {
    return fail(updatedAt.error());
  }
  return StyleMemory{std::move(*preference), std::move(*bullets), std::move(*samples), *updatedAt};
}

Result<StyleMemory> StyleMemory::decode(std::string_view bytes) {
  auto parsed = json::parse(bytes);
  if (!parsed) {
    return fail(parsed.error());
  }
  return fromJson(*parsed);
}

}  // namespace wrenfold
