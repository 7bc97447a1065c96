#include <set>

#include <gtest/gtest.h>

#include "core/support/time.h"
#include "core/support/uuid.h"

namespace wrenfold {
namespace {

using namespace std::chrono;
using timefmt::SystemTime;

constexpr SystemTime kReference{seconds(1796446116)};  // 2026-12-05T04:48:36Z

TEST(Iso8601, FormatsWholeSecondsInUtcAndRoundTrips) {
  EXPECT_EQ(timefmt::iso8601(kReference + milliseconds(999)), "2026-12-05T04:48:36Z");
  EXPECT_EQ(timefmt::iso8601(SystemTime{}), "1970-01-01T00:00:00Z");
  EXPECT_EQ(timefmt::iso8601(SystemTime{} - milliseconds(1)), "1969-12-31T23:59:59Z");
  for (const SystemTime t : {kReference, SystemTime{seconds(951782400)} /* 2000-02-29 */}) {
    EXPECT_EQ(timefmt::parseIso8601(timefmt::iso8601(t)), t);
  }
}

TEST(Iso8601, ParsesFractionsAndOffsetsAndRejectsOtherForms) {
  struct Row {
    const char* text;
    std::optional<SystemTime> expected;
  };
  const Row rows[] = {
      {"2026-12-05T04:48:36Z", kReference},
      {"2026-12-05T04:48:36.250Z", kReference + milliseconds(250)},
      {"2026-12-05T12:48:36+08:00", kReference},
      {"2026-12-04T23:18:36-0530", kReference},
      {"2026-12-05T04:48:36", std::nullopt},
      {"2026-12-05 04:48:36Z", std::nullopt},
      {"2026-02-29T00:00:00Z", std::nullopt},
      {"2026-12-05T24:00:00Z", std::nullopt},
      {"2026-12-05T04:48:36.Z", std::nullopt},
      {"2026-12-05T04:48:36Zjunk", std::nullopt},
      {"", std::nullopt},
      {"9999-12-31T23:59:59Z", std::nullopt},  // past what the clock holds: not a wrapped time
      {"1000-01-01T00:00:00Z", std::nullopt},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(timefmt::parseIso8601(row.text), row.expected) << row.text;
  }
}

bool isUpperHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

TEST(UuidTest, RandomIsVersion4UpperCaseAndUnique) {
  std::set<std::string> seen;
  for (int i = 0; i < 10000; ++i) {
    const std::string text = Uuid::random().string();
    ASSERT_EQ(text.size(), 36u);
    for (std::size_t p = 0; p < text.size(); ++p) {
      const bool dash = p == 8 || p == 13 || p == 18 || p == 23;
      ASSERT_TRUE(dash ? text[p] == '-' : isUpperHex(text[p])) << text;
    }
    ASSERT_EQ(text[14], '4') << text;
    ASSERT_NE(std::string("89AB").find(text[19]), std::string::npos) << text;
    seen.insert(text);
  }
  EXPECT_EQ(seen.size(), 10000u);
}

TEST(UuidTest, ParseAcceptsEitherCaseAndRejectsOtherShapes) {
  const auto upper = Uuid::parse("0F1E2D3C-4B5A-4968-8776-A5B4C3D2E1F0");
  ASSERT_TRUE(upper);
  EXPECT_EQ(upper->string(), "0F1E2D3C-4B5A-4968-8776-A5B4C3D2E1F0");
  EXPECT_EQ(upper->bytes()[0], 0x0F);
  EXPECT_EQ(Uuid::parse("0f1e2d3c-4b5a-4968-8776-a5b4c3d2e1f0"), upper);
  for (const char* bad :
       {"0F1E2D3C4B5A-4968-8776-A5B4C3D2E1F0-", "0F1E2D3C-4B5A-4968-8776-A5B4C3D2E1F",
        "0F1E2D3C-4B5A-4968-8776-A5B4C3D2E1FG", "{0F1E2D3C-4B5A-4968-8776-A5B4C3D2E1}", ""}) {
    EXPECT_FALSE(Uuid::parse(bad)) << bad;
  }
}

}  // namespace
}  // namespace wrenfold
