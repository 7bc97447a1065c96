#include "core/records/assistant_error.h"

namespace wrenfold {

std::string AssistantError::errorDescription() const {
  switch (kind_) {
    case Kind::network:
      return "模型请求失败：" + payload_;
    case Kind::unsafeTarget:
      return "当前输入目标被保护：" + payload_;
    case Kind::unknown:
      return payload_;
    case Kind::accessibilityNotTrusted:
      return "需要在系统设置中开启 Accessibility 权限。";
    case Kind::targetUnavailable:
      return "没有找到当前输入目标。";
    case Kind::contextUnavailable:
      return "没有读取到可用上下文。" + payload_;
    case Kind::missingAPIKey:
      return "请先在设置中配置模型 API Key。";
    case Kind::invalidModelResponse:
      return "模型返回格式不可用。";
  }
  return payload_;
}

// The members of Failure that look inside the closed set.

Failure::Failure(AssistantError error) : error_(std::make_shared<const AssistantError>(std::move(error))) {}

bool Failure::is(AssistantErrorKind kind) const {
  return error_ != nullptr && error_->kind() == kind;
}

std::string Failure::localizedDescription() const {
  return error_ != nullptr ? error_->errorDescription() : platformDescription_;
}

bool Failure::operator==(const Failure& other) const {
  if (error_ == nullptr || other.error_ == nullptr) {
    return error_ == other.error_ && platformDescription_ == other.platformDescription_;
  }
  return *error_ == *other.error_;
}

}  // namespace wrenfold
