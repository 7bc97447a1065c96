#include "core/memory/json_date.h"

#include <string>

namespace wrenfold::json {

Result<timefmt::SystemTime> requireDate(const Json& object, std::string_view key) {
  auto text = requireString(object, key);
  if (!text) {
    return fail(text.error());
  }
  auto time = timefmt::parseIso8601(*text);
  if (!time) {
    return fail(decodingFailure(std::string(key) + " 不是 ISO 8601 日期"));
  }
  return *time;
}

}  // namespace wrenfold::json
