#pragma once

#include "core/platform/desktop_services.h"
#include "core/support/app_paths.h"
#include "core/support/failure.h"

namespace wrenfold {

// The settings window's two ways to the user template file: create it when missing and open
// it, or open the folder that holds it. Main thread.
class UserTemplateFile {
 public:
  UserTemplateFile(AppPaths paths, DesktopServices& desktop);

  // Creates the data folders, writes "[]\n" atomically if nothing exists at the file's path
  // (an existing file is never touched), then opens the file. Fails, without opening, when
  // the folders or the file cannot be created; a failure to open is not reported, as the
  // desktop adapter deals with its own failures.
  [[nodiscard]] Result<void> createIfNeededAndOpen();

  // Creates the data folders if it can (a failure is ignored), then opens the templates
  // folder in the file browser.
  void openDirectory();

 private:
  [[nodiscard]] Result<void> createIfMissing() const;

  AppPaths paths_;
  DesktopServices& desktop_;
};

}  // namespace wrenfold
