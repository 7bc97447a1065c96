#include "core/records/assistant_error.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace wrenfold {
namespace {

TEST(AssistantError, EveryCaseShowsItsMessage) {
  const std::vector<std::pair<AssistantError, std::string>> rows = {
      {AssistantError::network("超时"), "模型请求失败：超时"},
      {AssistantError::network(""), "模型请求失败："},
      {AssistantError::unsafeTarget("密码输入框"), "当前输入目标被保护：密码输入框"},
      {AssistantError::unknown("x"), "x"},
      {AssistantError::accessibilityNotTrusted(), "需要在系统设置中开启 Accessibility 权限。"},
      {AssistantError::targetUnavailable(), "没有找到当前输入目标。"},
      {AssistantError::contextUnavailable(), "没有读取到可用上下文。"},
      {AssistantError::missingAPIKey(), "请先在设置中配置模型 API Key。"},
      {AssistantError::invalidModelResponse(), "模型返回格式不可用。"},
  };
  for (const auto& [error, message] : rows) {
    EXPECT_EQ(error.errorDescription(), message);
  }
}

}  // namespace
}  // namespace wrenfold
