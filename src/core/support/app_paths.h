#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "core/support/failure.h"

namespace wrenfold {

// Where Wrenfold keeps its files: one data folder with a sub-folder per kind of data.
// A value handed to every store, so tests point it at a temporary folder.
class AppPaths {
 public:
  explicit AppPaths(std::filesystem::path appSupport);
  // $XDG_DATA_HOME/Wrenfold, else ~/.local/share/Wrenfold (home from $HOME, else the password
  // database, else the current directory).
  [[nodiscard]] static AppPaths fromEnvironment();

  [[nodiscard]] const std::filesystem::path& appSupportURL() const { return appSupport_; }
  [[nodiscard]] std::filesystem::path configURL() const { return appSupport_ / "config.json"; }
  [[nodiscard]] std::filesystem::path templatesDirectoryURL() const { return appSupport_ / "templates"; }
  [[nodiscard]] std::filesystem::path userTemplatesURL() const {
    return templatesDirectoryURL() / "user-templates.json";
  }
  [[nodiscard]] std::filesystem::path styleDirectoryURL() const { return appSupport_ / "style"; }
  [[nodiscard]] std::filesystem::path samplesURL() const { return styleDirectoryURL() / "samples.jsonl"; }
  [[nodiscard]] std::filesystem::path styleMemoryURL() const {
    return styleDirectoryURL() / "style-memory.json";
  }
  [[nodiscard]] std::filesystem::path eventsDirectoryURL() const { return appSupport_ / "events"; }
  [[nodiscard]] std::filesystem::path localEventsURL() const {
    return eventsDirectoryURL() / "local-events.jsonl";
  }
  [[nodiscard]] std::filesystem::path logsDirectoryURL() const { return appSupport_ / "logs"; }
  [[nodiscard]] std::filesystem::path logURL() const { return logsDirectoryURL() / "app.log"; }

  // Creates, in order, the data folder, templates, style, events and logs, each 0700: they hold
  // the API key and the user's texts. An existing folder is fine (its permissions are left as
  // they are); the first failure stops and is returned.
  [[nodiscard]] Result<void> ensureDirectories() const;

  // One sentence for each of the data folder and config.json that other users may read (made
  // so by hand: Wrenfold creates both private), with the command that makes it private again.
  // Empty when both are private or absent.
  [[nodiscard]] std::vector<std::string> exposureWarnings() const;

 private:
  std::filesystem::path appSupport_;
};

}  // namespace wrenfold
