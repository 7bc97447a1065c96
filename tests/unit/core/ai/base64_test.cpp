#include "core/ai/base64.h"

#include <gtest/gtest.h>

namespace wrenfold {
namespace {

TEST(Base64Test, EncodesWithTheStandardAlphabetAndPadding) {
  const std::pair<std::string_view, std::string_view> rows[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
      {std::string_view("\xfb\xff\x00", 3), "+/8A"},
      {std::string_view("\x00\xff"
                        "abc",
                        5),
       "AP9hYmM="},
  };
  for (const auto& [bytes, encoded] : rows) {
    EXPECT_EQ(base64::encode(bytes), encoded);
  }
  EXPECT_EQ(base64::encode(std::string(3000, '\x7f')).find('\n'), std::string::npos);
}

}  // namespace
}  // namespace wrenfold
