#include "core/templates/user_template_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace wrenfold {
namespace {

namespace fs = std::filesystem;
using testing::readAll;
using testing::TempDir;
using testing::writeAll;

class RecordingDesktop final : public DesktopServices {
 public:
  Result<void> openPath(const fs::path& path) override {
    openedPaths.push_back(path);
    if (failing) {
      return failPlatform("没有可用的打开方式");
    }
    return {};
  }
  Result<void> openUrl(const std::string&) override { return failPlatform("不应打开网址"); }

  std::vector<fs::path> openedPaths;
  bool failing = false;
};

class UserTemplateFileTest : public ::testing::Test {
 protected:
  TempDir dir_;
  AppPaths paths_{dir_.path() / "Wrenfold"};
  RecordingDesktop desktop_;
  UserTemplateFile file_{paths_, desktop_};
};

TEST_F(UserTemplateFileTest, CreatesTheEmptyListWhenMissingAndOpensIt) {
  desktop_.failing = true;  // a failure to open is not a failure to create
  ASSERT_TRUE(file_.createIfNeededAndOpen().has_value());
  EXPECT_EQ(readAll(paths_.userTemplatesURL()), "[]\n");
  EXPECT_TRUE(fs::is_directory(paths_.logsDirectoryURL()));
  EXPECT_EQ(desktop_.openedPaths, std::vector<fs::path>{paths_.userTemplatesURL()});
}

TEST_F(UserTemplateFileTest, NeverOverwritesWhatIsThere) {
  writeAll(paths_.userTemplatesURL(), "[{\"id\": \"mine\"}]");
  ASSERT_TRUE(file_.createIfNeededAndOpen().has_value());
  EXPECT_EQ(readAll(paths_.userTemplatesURL()), "[{\"id\": \"mine\"}]");

  fs::remove(paths_.userTemplatesURL());
  fs::create_symlink(dir_.path() / "elsewhere.json", paths_.userTemplatesURL());  // dangling
  ASSERT_TRUE(file_.createIfNeededAndOpen().has_value());
  EXPECT_TRUE(fs::is_symlink(paths_.userTemplatesURL()));
  EXPECT_FALSE(fs::exists(dir_.path() / "elsewhere.json"));
  EXPECT_EQ(desktop_.openedPaths.size(), 2u);
}

TEST_F(UserTemplateFileTest, FoldersThatCannotBeCreatedFailWithoutOpening) {
  writeAll(dir_.path() / "blocker", "a file where a folder should be");
  const AppPaths blocked(dir_.path() / "blocker" / "Wrenfold");
  UserTemplateFile file(blocked, desktop_);
  const auto result = file.createIfNeededAndOpen();
  ASSERT_FALSE(result.has_value());
  EXPECT_FALSE(result.error().localizedDescription().empty());
  EXPECT_TRUE(desktop_.openedPaths.empty());

  file.openDirectory();  // the folder action ignores the failure and still asks
  EXPECT_EQ(desktop_.openedPaths, std::vector<fs::path>{blocked.templatesDirectoryURL()});
}

TEST_F(UserTemplateFileTest, AFileThatCannotBeWrittenFailsWithoutOpening) {
  // A templates folder where no file can be created, even by root.
  fs::create_directories(paths_.appSupportURL());
  fs::create_directory_symlink("/proc/self", paths_.templatesDirectoryURL());
  ASSERT_FALSE(file_.createIfNeededAndOpen().has_value());
  EXPECT_TRUE(desktop_.openedPaths.empty());
}

TEST_F(UserTemplateFileTest, OpenDirectoryCreatesTheFoldersFirst) {
  file_.openDirectory();
  EXPECT_TRUE(fs::is_directory(paths_.templatesDirectoryURL()));
  EXPECT_EQ(desktop_.openedPaths, std::vector<fs::path>{paths_.templatesDirectoryURL()});
  EXPECT_FALSE(fs::exists(paths_.userTemplatesURL()));
}

}  // namespace
}  // namespace wrenfold
