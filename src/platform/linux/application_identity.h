#pragma once

// The application id (the bundle-identifier analogue) and display name of a window's
// application, decided in the order GNOME Shell uses: WM_CLASS matched to a desktop file, the
// Flatpak id, _GTK_APPLICATION_ID, _KDE_NET_WM_DESKTOP_FILE, then WM_CLASS itself, then the
// executable. Pure logic over facts the caller gathered.

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wrenfold {

// What a window and its process tell about their application.
struct WindowFacts {
  std::optional<std::string> wmInstance;  // WM_CLASS res_name
  std::optional<std::string> wmClass;     // WM_CLASS res_class
  std::optional<std::string> flatpakID;   // [Application] name= of /proc/<pid>/root/.flatpak-info
  std::optional<std::string> gtkApplicationID;
  std::optional<std::string> kdeDesktopFile;
  std::optional<std::string> executable;  // file name of the process's executable
};

struct ApplicationIdentity {
  std::optional<std::string> id;
  std::optional<std::string> name;
  bool operator==(const ApplicationIdentity&) const = default;
};

// Installed desktop files, by id and by StartupWMClass.
class DesktopFileIndex {
 public:
  struct Entry {
    std::string id;    // file name without ".desktop"
    std::string name;  // localized Name, else Name
  };

  // Reads every applications/*.desktop under `dataDirs`, earlier folders winning.
  [[nodiscard]] static DesktopFileIndex load(const std::vector<std::filesystem::path>& dataDirs,
                                             std::string_view locale);
  // The folders of $XDG_DATA_HOME and $XDG_DATA_DIRS, with their defaults.
  [[nodiscard]] static std::vector<std::filesystem::path> standardDataDirs();
  // The messages locale ($LC_ALL, $LC_MESSAGES, $LANG), e.g. "zh_CN.UTF-8".
  [[nodiscard]] static std::string messagesLocale();

  // Adds one desktop file's contents under `id` (kept when the id is already known).
  void add(const std::string& id, std::string_view contents, std::string_view locale);

  [[nodiscard]] const Entry* byID(std::string_view id) const;
  [[nodiscard]] const Entry* byWMClass(std::string_view wmClass) const;

 private:
  std::map<std::string, Entry, std::less<>> byID_;
  std::map<std::string, std::string, std::less<>> byWMClass_;  // StartupWMClass -> id
};

[[nodiscard]] ApplicationIdentity identifyApplication(const WindowFacts& facts,
                                                      const DesktopFileIndex& index);

// The Flatpak application id from the contents of a .flatpak-info file.
[[nodiscard]] std::optional<std::string> flatpakIDFromInfo(std::string_view contents);

}  // namespace wrenfold
