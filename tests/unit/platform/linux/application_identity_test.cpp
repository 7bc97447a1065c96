#include "platform/linux/application_identity.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/linux/xtest_key_events.h"

namespace wrenfold {
namespace {

DesktopFileIndex sampleIndex() {
  DesktopFileIndex index;
  index.add("org.mozilla.firefox",
            "[Desktop Entry]\nName=Firefox\nName[zh_CN]=火狐浏览器\nStartupWMClass=firefox\n"
            "[Desktop Action new-window]\nName=New Window\n",
            "zh_CN.UTF-8");
  index.add("org.gnome.TextEditor", "[Desktop Entry]\r\nName=Text Editor\r\nName[zh]=文本编辑器\r\n",
            "zh_CN.UTF-8");
  index.add("code", "# comment\n[Desktop Entry]\nName=Visual Studio Code\n", "C");
  return index;
}

TEST(ApplicationIdentityTest, DecidesInGnomeShellsOrder) {
  const auto index = sampleIndex();
  struct Row {
    const char* what;
    WindowFacts facts;
    ApplicationIdentity identity;
  };
  const std::vector<Row> rows = {
      {"WM_CLASS matched to StartupWMClass",
       {"Navigator", "firefox", {}, {}, {}, "firefox-esr"},
       {"org.mozilla.firefox", "火狐浏览器"}},
      {"WM_CLASS equal to a desktop id, lower-cased",
       {"Code", "Code", {}, {}, {}, "code"},
       {"code", "Visual Studio Code"}},
      {"Flatpak id before the GTK id",
       {"x", "X", "org.gnome.TextEditor", "org.other.App", {}, "gnome-text-editor"},
       {"org.gnome.TextEditor", "文本编辑器"}},
      {"GTK application id, named by WM_CLASS",
       {"wallet", "Wallet", {}, "org.example.Wallet", {}, "wallet"},
       {"org.example.Wallet", "Wallet"}},
      {"KDE desktop file path",
       {"", "", {}, {}, "/usr/share/applications/org.kde.kate.desktop", "kate"},
       {"org.kde.kate", std::nullopt}},
      {"WM_CLASS alone", {"xterm", "XTerm", {}, {}, {}, "xterm"}, {"XTerm", "XTerm"}},
      {"only the executable", {{}, {}, {}, {}, {}, "mystery"}, {"mystery", std::nullopt}},
      {"nothing at all", {}, {std::nullopt, std::nullopt}},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(identifyApplication(row.facts, index), row.identity) << row.what;
  }
}

TEST(ApplicationIdentityTest, ReadsTheFlatpakIdFromItsInfoFile) {
  EXPECT_EQ(
      flatpakIDFromInfo("[Application]\nname=org.telegram.desktop\nruntime=x\n[Instance]\nname=other\n"),
      "org.telegram.desktop");
  EXPECT_EQ(flatpakIDFromInfo("[Instance]\nname=other\n"), std::nullopt);
}

TEST(TerminalWindowClassTest, TerminalsPasteWithShiftOthersDoNot) {
  EXPECT_TRUE(isTerminalWindowClass("gnome-terminal-server", "Gnome-terminal"));
  EXPECT_TRUE(isTerminalWindowClass("xterm", "XTerm"));
  EXPECT_TRUE(isTerminalWindowClass("main", "XTerm"));  // xterm -name main
  EXPECT_TRUE(isTerminalWindowClass("konsole", "konsole"));
  EXPECT_TRUE(isTerminalWindowClass("kgx", "Kgx") && isTerminalWindowClass("org.gnome.Ptyxis", "Ptyxis"));
  EXPECT_FALSE(isTerminalWindowClass("Navigator", "firefox"));
  EXPECT_FALSE(isTerminalWindowClass("", ""));
}

}  // namespace
}  // namespace wrenfold
