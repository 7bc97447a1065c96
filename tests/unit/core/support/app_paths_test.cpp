#include "core/support/app_paths.h"

#include <sys/stat.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/scoped_environment.h"
#include "support/temp_dir.h"

namespace wrenfold {
namespace {

namespace fs = std::filesystem;
using testing::ScopedEnvironment;
using testing::TempDir;

TEST(AppPathsTest, DataFolderFollowsXdgDataHomeWhenAbsolute) {
  struct Row {
    const char* xdgDataHome;
    const char* expected;
  };
  const Row rows[] = {
      {"/srv/data", "/srv/data/Wrenfold"},
      {nullptr, "/home/ada/.local/share/Wrenfold"},
      {"", "/home/ada/.local/share/Wrenfold"},
      {"relative/data", "/home/ada/.local/share/Wrenfold"},
  };
  ScopedEnvironment home("HOME", "/home/ada");
  for (const Row& row : rows) {
    ScopedEnvironment xdg("XDG_DATA_HOME", row.xdgDataHome);
    const AppPaths paths = AppPaths::fromEnvironment();
    EXPECT_EQ(paths.appSupportURL(), fs::path(row.expected)) << (row.xdgDataHome ? row.xdgDataHome : "unset");
  }
}

TEST(AppPathsTest, EnsureDirectoriesCreatesAPrivateDataFolderAndItsSubfolders) {
  TempDir dir;
  const AppPaths paths(dir / "share" / "Wrenfold");
  ASSERT_TRUE(paths.ensureDirectories());
  ASSERT_TRUE(paths.ensureDirectories());  // existing folders are fine
  for (const fs::path& folder :
       {paths.appSupportURL(), paths.templatesDirectoryURL(), paths.styleDirectoryURL(),
        paths.eventsDirectoryURL(), paths.logsDirectoryURL()}) {
    EXPECT_EQ(fs::status(folder).permissions(), fs::perms(0700)) << folder;
  }
}

TEST(AppPathsTest, ExposureWarningsNameTheFolderOrKeyFileOthersMayRead) {
  TempDir dir;
  const AppPaths paths(dir / "Wrenfold");
  EXPECT_TRUE(paths.exposureWarnings().empty()) << "nothing there yet";
  ASSERT_TRUE(paths.ensureDirectories());
  testing::writeAll(paths.configURL(), "{}");
  struct Row {
    mode_t folder;
    mode_t config;
    std::vector<std::string> mentions;
  };
  const Row rows[] = {
      {0700, 0600, {}},
      {0700, 0640, {"chmod 600 " + paths.configURL().string()}},
      {0711, 0600, {"chmod 700 " + paths.appSupportURL().string()}},
      {0755,
       0644,
       {"chmod 700 " + paths.appSupportURL().string(), "chmod 600 " + paths.configURL().string()}},
  };
  for (const Row& row : rows) {
    ASSERT_EQ(::chmod(paths.appSupportURL().c_str(), row.folder), 0);
    ASSERT_EQ(::chmod(paths.configURL().c_str(), row.config), 0);
    const auto warnings = paths.exposureWarnings();
    ASSERT_EQ(warnings.size(), row.mentions.size()) << row.folder << " " << row.config;
    for (std::size_t i = 0; i < warnings.size(); ++i) {
      EXPECT_NE(warnings[i].find(row.mentions[i]), std::string::npos) << warnings[i];
    }
  }
}

TEST(AppPathsTest, EnsureDirectoriesStopsAtTheFirstFailureInOrder) {
  TempDir dir;
  const AppPaths paths(dir / "Wrenfold");
  testing::writeAll(paths.styleDirectoryURL(), "a file where a folder belongs");
  const auto result = paths.ensureDirectories();
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().localizedDescription(),
            "无法创建文件夹 " + paths.styleDirectoryURL().string() + "：Not a directory");
  EXPECT_TRUE(fs::is_directory(paths.templatesDirectoryURL()));
  EXPECT_FALSE(fs::exists(paths.eventsDirectoryURL()));
  EXPECT_FALSE(fs::exists(paths.logsDirectoryURL()));
}

}  // namespace
}  // namespace wrenfold
