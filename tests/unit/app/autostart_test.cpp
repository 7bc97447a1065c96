#include "app/autostart.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace wrenfold::app {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kInstalled =
    "[Desktop Entry]\nType=Application\nName=Wrenfold\nExec=wrenfold\nX-GNOME-Autostart-enabled=true\n";

class AutostartEntryTest : public ::testing::Test {
 protected:
  AutostartEntryTest() { testing::writeAll(installed_, kInstalled); }

  testing::TempDir dir_;
  fs::path installed_ = dir_ / "prefix/share/wrenfold/autostart/wrenfold.desktop";
  fs::path userEntry_ = dir_ / "config/autostart/wrenfold.desktop";
  AutostartEntry entry_{userEntry_, installed_};
};

TEST_F(AutostartEntryTest, EnableCopiesTheInstalledEntryAndDisableRemovesIt) {
  EXPECT_FALSE(entry_.isEnabled());
  ASSERT_TRUE(entry_.enable().has_value());
  EXPECT_EQ(testing::readAll(userEntry_), kInstalled);
  EXPECT_TRUE(entry_.isEnabled());

  ASSERT_TRUE(entry_.disable().has_value());
  EXPECT_FALSE(fs::exists(userEntry_));
  EXPECT_FALSE(entry_.isEnabled());
  EXPECT_TRUE(entry_.disable().has_value()) << "disabling twice is fine";
}

TEST_F(AutostartEntryTest, EntriesSwitchedOffByTheDesktopAreNotEnabled) {
  const struct {
    std::string_view contents;
    bool enabled;
  } rows[] = {
      {"[Desktop Entry]\nExec=wrenfold\n", true},
      {"[Desktop Entry]\nExec=wrenfold\nHidden=true\n", false},
      {"[Desktop Entry]\nExec=wrenfold\nHidden = true\n", false},
      {"[Desktop Entry]\nExec=wrenfold\nHidden=false\n", true},
      {"[Desktop Entry]\nX-GNOME-Autostart-enabled=false\n", false},
      {"[Desktop Entry]\nExec=wrenfold\n[Desktop Action x]\nHidden=true\n", true},
  };
  for (const auto& row : rows) {
    testing::writeAll(userEntry_, row.contents);
    EXPECT_EQ(entry_.isEnabled(), row.enabled) << row.contents;
  }
  ASSERT_TRUE(entry_.enable().has_value());
  EXPECT_TRUE(entry_.isEnabled()) << "enabling again replaces a switched-off entry";
}

TEST_F(AutostartEntryTest, EnableWithoutAnInstallationSaysWhatIsMissing) {
  AutostartEntry uninstalled(userEntry_, dir_ / "nowhere/wrenfold.desktop");
  const auto enabled = uninstalled.enable();
  ASSERT_FALSE(enabled.has_value());
  EXPECT_NE(enabled.error().localizedDescription().find("nowhere/wrenfold.desktop"), std::string::npos);
  EXPECT_FALSE(fs::exists(userEntry_));
}

TEST(AutostartPaths, ConfigFolderFromTheEnvironmentAndEntryBesideTheInstallation) {
  const struct {
    std::optional<std::string> xdgConfigHome;
    std::optional<std::string> home;
    std::optional<fs::path> expected;
  } rows[] = {
      {"/cfg", "/home/u", "/cfg/autostart/wrenfold.desktop"},
      {std::nullopt, "/home/u", "/home/u/.config/autostart/wrenfold.desktop"},
      {"", "/home/u", "/home/u/.config/autostart/wrenfold.desktop"},
      {"cfg", "/home/u", "/home/u/.config/autostart/wrenfold.desktop"},
      {std::nullopt, std::nullopt, std::nullopt},
      {"cfg", "home/u", std::nullopt},
  };
  for (const auto& row : rows) {
    const auto path = autostartEntryPath(row.xdgConfigHome, row.home);
    EXPECT_EQ(path.has_value() ? std::optional(*path) : std::nullopt, row.expected)
        << row.xdgConfigHome.value_or("(unset)") << " " << row.home.value_or("(unset)");
  }
  EXPECT_EQ(installedAutostartEntry("/usr/bin/wrenfold"), "/usr/share/wrenfold/autostart/wrenfold.desktop");
}

}  // namespace
}  // namespace wrenfold::app
