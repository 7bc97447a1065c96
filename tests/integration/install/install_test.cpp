// Installs this build into a temporary prefix and packs it as a Debian package, then checks
// what a user's system would receive.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using wrenfold::testing::readAll;
using wrenfold::testing::TempDir;

const int kIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

std::string iconPath(int size) {
  return "share/icons/hicolor/" + std::to_string(size) + "x" + std::to_string(size) + "/apps/wrenfold.png";
}

const std::set<std::string> kInstalledFiles = [] {
  std::set<std::string> files = {
      "bin/wrenfold",
      "share/applications/wrenfold.desktop",
      "share/bash-completion/completions/wrenfold",
      "share/doc/wrenfold/copyright",
      "share/icons/hicolor/symbolic/apps/wrenfold-symbolic.svg",
      "share/man/man1/wrenfold.1",
      "share/metainfo/org.wrenfold.wrenfold.metainfo.xml",
      "share/wrenfold/autostart/wrenfold.desktop",
      "share/zsh/vendor-completions/_wrenfold",
  };
  for (const int size : kIconSizes) {
    files.insert(iconPath(size));
  }
  if (const std::string addons = WRENFOLD_FCITX5_INSTALL_DIR; !addons.empty()) {
    files.insert(addons + "/libwrenfoldim.so");
    files.insert("share/fcitx5/addon/wrenfold.conf");
  }
  return files;
}();

struct Outcome {
  int exitCode = -1;
  std::string output;  // standard output and standard error together
};

// Runs a program (looked up in PATH) and collects what it prints. No argument here holds a quote.
Outcome run(const std::vector<std::string>& arguments) {
  std::string command;
  for (const auto& argument : arguments) {
    command += "'" + argument + "' ";
  }
  Outcome outcome;
  FILE* pipe = ::popen((command + "2>&1").c_str(), "r");
  std::array<char, 4096> buffer{};
  for (std::size_t got; pipe != nullptr && (got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;) {
    outcome.output.append(buffer.data(), got);
  }
  const int status = pipe != nullptr ? ::pclose(pipe) : -1;
  outcome.exitCode = status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return outcome;
}

bool available(const std::string& program) {
  return run({"sh", "-c", "command -v " + program}).exitCode == 0;
}

// Regular files under `root`, relative to it.
std::set<std::string> filesUnder(const fs::path& root) {
  std::set<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_directory()) {
      files.insert(fs::relative(entry.path(), root).string());
    }
  }
  return files;
}

using DesktopEntry = std::map<std::string, std::map<std::string, std::string>>;  // group -> key -> value

DesktopEntry parseDesktopEntry(const std::string& text) {
  DesktopEntry entry;
  std::istringstream lines(text);
  std::string group;
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with('[')) {
      group = line.substr(1, line.size() - 2);
    } else if (const auto equals = line.find('='); equals != std::string::npos) {
      entry[group][line.substr(0, equals)] = line.substr(equals + 1);
    }
  }
  return entry;
}

class InstallTree : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    prefix_ = std::make_unique<TempDir>();
    installed_ = run({WRENFOLD_CMAKE, "--install", WRENFOLD_BUILD_DIR, "--prefix", prefix_->path().string()});
  }
  static void TearDownTestSuite() { prefix_.reset(); }

  void SetUp() override { ASSERT_EQ(installed_.exitCode, 0) << installed_.output; }
  [[nodiscard]] static fs::path installed(const std::string& relative) { return prefix_->path() / relative; }

  static inline std::unique_ptr<TempDir> prefix_;
  static inline Outcome installed_;
};

TEST_F(InstallTree, HoldsExactlyTheProgramAndItsDesktopIntegration) {
  EXPECT_EQ(filesUnder(prefix_->path()), kInstalledFiles);
  EXPECT_THAT(readAll(installed("share/icons/hicolor/symbolic/apps/wrenfold-symbolic.svg")),
              HasSubstr("<svg"));
  for (const int size : kIconSizes) {  // a PNG's header holds its width and height, big-endian
    const std::string png = readAll(installed(iconPath(size)));
    ASSERT_GE(png.size(), 24u) << size;
    EXPECT_EQ(png.substr(1, 3), "PNG") << size;
    EXPECT_EQ(static_cast<unsigned char>(png[18]) * 256 + static_cast<unsigned char>(png[19]), size);
    EXPECT_EQ(static_cast<unsigned char>(png[22]) * 256 + static_cast<unsigned char>(png[23]), size);
  }
  EXPECT_THAT(readAll(installed("share/doc/wrenfold/copyright")), HasSubstr("MIT License"));

  const Outcome version = run({installed("bin/wrenfold").string(), "--version"});
  EXPECT_EQ(version.exitCode, 0) << version.output;
  EXPECT_EQ(version.output, std::string("wrenfold ") + WRENFOLD_VERSION + "\n");
}

TEST_F(InstallTree, DesktopEntriesAreValidAndStartWrenfold) {
  const auto application = parseDesktopEntry(readAll(installed("share/applications/wrenfold.desktop")));
  const auto autostart = parseDesktopEntry(readAll(installed("share/wrenfold/autostart/wrenfold.desktop")));
  const struct {
    const DesktopEntry& entry;
    std::string group, key, value;
  } rows[] = {
      {application, "Desktop Entry", "Type", "Application"},
      {application, "Desktop Entry", "Name", "Wrenfold"},
      {application, "Desktop Entry", "Exec", "wrenfold"},
      {application, "Desktop Entry", "Icon", "wrenfold"},
      {application, "Desktop Entry", "Categories", "Utility;"},
      {application, "Desktop Entry", "Actions", "trigger;settings;"},
      {application, "Desktop Action trigger", "Name", "生成候选"},
      {application, "Desktop Action trigger", "Exec", "wrenfold trigger"},
      {application, "Desktop Action settings", "Name", "设置"},
      {application, "Desktop Action settings", "Exec", "wrenfold settings"},
      {autostart, "Desktop Entry", "Type", "Application"},
      {autostart, "Desktop Entry", "Exec", "wrenfold"},
      {autostart, "Desktop Entry", "Icon", "wrenfold"},
  };
  for (const auto& row : rows) {
    const auto group = row.entry.find(row.group);
    ASSERT_NE(group, row.entry.end()) << row.group;
    const auto value = group->second.find(row.key);
    EXPECT_EQ(value != group->second.end() ? value->second : "(missing)", row.value)
        << row.group << " " << row.key;
  }
  EXPECT_FALSE(application.at("Desktop Entry").at("Name[zh_CN]").empty());

  if (!available("desktop-file-validate")) {
    GTEST_SKIP() << "desktop-file-validate (desktop-file-utils) is not installed";
  }
  for (const char* file :
       {"share/applications/wrenfold.desktop", "share/wrenfold/autostart/wrenfold.desktop"}) {
    const Outcome validated = run({"desktop-file-validate", installed(file).string()});
    EXPECT_EQ(validated.exitCode, 0) << file << "\n" << validated.output;
    EXPECT_EQ(validated.output, "") << file;
  }
}

// Each row runs a tool the user's system (software centre, man, the shells) runs on an installed
// file; what it prints must hold `expected`. The last row is what bash offers after
// "wrenfold generate --template tr" and after "wrenfold se".
TEST_F(InstallTree, ManPageMetainfoAndCompletionPassTheirTools) {
  const std::string man = installed("share/man/man1/wrenfold.1").string();
  const std::string bash = installed("share/bash-completion/completions/wrenfold").string();
  const std::vector<std::vector<std::string>> rows = {
      {"successful", "appstreamcli", "validate", "--no-net",
       installed("share/metainfo/org.wrenfold.wrenfold.metainfo.xml")},
      {"wrenfold generate [--instruction 文本]", "env", "LC_ALL=C.UTF-8", "MANWIDTH=200", "man", "-l", man},
      {"", "bash", "-n", bash},
      {"", "zsh", "-n", installed("share/zsh/vendor-completions/_wrenfold")},
      {"translate.zh translate.en\nsettings\n", "bash", "-c",
       "source \"$0\"; COMP_WORDS=(wrenfold generate --template tr); COMP_CWORD=3; _wrenfold; echo "
       "\"${COMPREPLY[*]}\";"
       "COMP_WORDS=(wrenfold se); COMP_CWORD=1; _wrenfold; echo \"${COMPREPLY[*]}\"",
       bash},
  };
  for (const auto& row : rows) {
    const Outcome outcome = run({row.begin() + 1, row.end()});
    EXPECT_EQ(outcome.exitCode, 0) << row[1] << " (scripts/install-deps --test)\n" << outcome.output;
    EXPECT_THAT(outcome.output, HasSubstr(row[0])) << row[1];
  }
}

TEST(DebianPackage, CarriesTheControlDataAndTheInstalledTree) {
  TempDir out;
  const Outcome packed =
      run({WRENFOLD_CPACK, "--config", std::string(WRENFOLD_BUILD_DIR) + "/CPackConfig.cmake", "-G", "DEB",
           "-B", out.path().string()});
  ASSERT_EQ(packed.exitCode, 0) << packed.output;
  std::vector<fs::path> packages;
  for (const auto& entry : fs::directory_iterator(out.path())) {
    if (entry.path().extension() == ".deb") {
      packages.push_back(entry.path());
    }
  }
  ASSERT_EQ(packages.size(), 1u) << packed.output;
  const std::string deb = packages.front().string();

  const auto field = [&](const std::string& name) {
    std::string value = run({"dpkg-deb", "--field", deb, name}).output;
    return value.empty() ? value : value.substr(0, value.size() - 1);
  };
  EXPECT_EQ(field("Package"), "wrenfold");
  EXPECT_EQ(field("Version"), WRENFOLD_VERSION);
  EXPECT_EQ(field("Section"), "utils");
  EXPECT_THAT(field("Maintainer"), ::testing::MatchesRegex(".+ <.+@.+>"));
  EXPECT_THAT(field("Description"), HasSubstr("writing assistant"));
  // Filled in by dpkg-shlibdeps from what the program links.
  EXPECT_THAT(field("Depends"), HasSubstr("libc6"));
  EXPECT_THAT(field("Depends"), HasSubstr("libstdc++6"));
  EXPECT_THAT(field("Recommends"), HasSubstr("fonts-noto-cjk"));
  EXPECT_EQ(field("Suggests"), "gnome-keyring");

  const Outcome listing = run({"dpkg-deb", "--contents", deb});
  ASSERT_EQ(listing.exitCode, 0) << listing.output;
  std::set<std::string> files;
  std::istringstream lines(listing.output);
  for (std::string line; std::getline(lines, line);) {
    const auto path = line.find("./usr/");
    if (!line.starts_with('d') && path != std::string::npos) {
      files.insert(line.substr(path + std::string("./usr/").size()));
      EXPECT_THAT(line, HasSubstr("root/root")) << "files belong to root on the user's system";
    }
    if (line.ends_with("./usr/bin/wrenfold")) {
      EXPECT_TRUE(line.starts_with("-rwxr-xr-x")) << line;
    }
  }
  EXPECT_EQ(files, kInstalledFiles);
}

}  // namespace
