#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "core/platform/desktop_services.h"
#include "fakes/fake_system_log.h"

namespace wrenfold::testing {

// Opens nothing; remembers what it was asked to open, and fails each path when `failing`.
class RecordingDesktopServices final : public DesktopServices {
 public:
  [[nodiscard]] Result<void> openPath(const std::filesystem::path& path) override {
    opened.push_back(path.string());
    return failing ? Result<void>(failPlatform("没有可用的打开方式")) : Result<void>{};
  }
  [[nodiscard]] Result<void> openUrl(const std::string& url) override {
    opened.push_back(url);
    return {};
  }

  std::vector<std::string> opened;
  bool failing = false;
};

}  // namespace wrenfold::testing
