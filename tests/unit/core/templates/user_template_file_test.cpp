#include "core/templates/user_template_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "fakes/recording_desktop_services.h"
#include "support/temp_dir.h"

namespace wrenfold {
namespace {

namespace fs = std::filesystem;
using testing::readAll;
using testing::TempDir;
using testing::writeAll;

class UserTemplateFileTest : public ::testing::Test {
 protected:
  TempDir dir_;
  AppPaths paths_{dir_.path() / "Wrenfold"};
  testing::RecordingDesktopServices desktop_;
  UserTemplateFile file_{paths_, desktop_};
};

TEST_F(UserTemplateFileTest, CreatesTheEmptyListWhenMissingAndOpensIt) {
  desktop_.failing = true;  // a failure to open is not a failure to create
  ASSERT_TRUE(file_.createIfNeededAndOpen().has_value());
  EXPECT_EQ(readAll(paths_.userTemplatesURL()), "[]\n");
  EXPECT_TRUE(fs::is_directory(paths_.logsDirectoryURL()));
  EXPECT_EQ(desktop_.opened, std::vector<std::string>{paths_.userTemplatesURL().string()});
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
  EXPECT_EQ(desktop_.opened.size(), 2u);
}

TEST_F(UserTemplateFileTest, FoldersThatCannotBeCreatedFailWithoutOpening) {
  writeAll(dir_.path() / "blocker", "a file where a folder should be");
  const AppPaths blocked(dir_.path() / "blocker" / "Wrenfold");
  UserTemplateFile file(blocked, desktop_);
  const auto result = file.createIfNeededAndOpen();
  ASSERT_FALSE(result.has_value());
  EXPECT_FALSE(result.error().localizedDescription().empty());
  EXPECT_TRUE(desktop_.opened.empty());

  file.openDirectory();  // the folder action ignores the failure and still asks
  EXPECT_EQ(desktop_.opened, std::vector<std::string>{blocked.templatesDirectoryURL().string()});
}

TEST_F(UserTemplateFileTest, AFileThatCannotBeWrittenFailsWithoutOpening) {
  // A templates folder where no file can be created, even by root.
  fs::create_directories(paths_.appSupportURL());
  fs::create_directory_symlink("/proc/self", paths_.templatesDirectoryURL());
  ASSERT_FALSE(file_.createIfNeededAndOpen().has_value());
  EXPECT_TRUE(desktop_.opened.empty());
}

TEST_F(UserTemplateFileTest, OpenDirectoryCreatesTheFoldersFirst) {
  file_.openDirectory();
  EXPECT_TRUE(fs::is_directory(paths_.templatesDirectoryURL()));
  EXPECT_EQ(desktop_.opened, std::vector<std::string>{paths_.templatesDirectoryURL().string()});
  EXPECT_FALSE(fs::exists(paths_.userTemplatesURL()));
}

}  // namespace
}  // namespace wrenfold
