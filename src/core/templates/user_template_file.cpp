#include "core/templates/user_template_file.h"

#include <string_view>
#include <system_error>
#include <utility>

#include "core/support/file_io.h"

namespace wrenfold {
namespace {

constexpr std::string_view kEmptyTemplateList = "[]\n";

}  // namespace

UserTemplateFile::UserTemplateFile(AppPaths paths, DesktopServices& desktop)
    : paths_(std::move(paths)), desktop_(desktop) {}

Result<void> UserTemplateFile::createIfNeededAndOpen() {
  if (auto created = paths_.ensureDirectories(); !created) {
    return created;
  }
  if (auto created = createIfMissing(); !created) {
    return created;
  }
  static_cast<void>(desktop_.openPath(paths_.userTemplatesURL()));
  return {};
}

void UserTemplateFile::openDirectory() {
  static_cast<void>(paths_.ensureDirectories());
  static_cast<void>(desktop_.openPath(paths_.templatesDirectoryURL()));
}

Result<void> UserTemplateFile::createIfMissing() const {
  const auto path = paths_.userTemplatesURL();
  std::error_code error;
  // symlink_status: a link, even a dangling one, is the user's and is not replaced.
  const auto status = std::filesystem::symlink_status(path, error);
  if (status.type() != std::filesystem::file_type::not_found) {
    if (error) {
      return failPlatform("无法检查文件 " + path.string() + "：" + error.message());
    }
    return {};
  }
  return files::writeFileAtomically(path, kEmptyTemplateList);
}

}  // namespace wrenfold
