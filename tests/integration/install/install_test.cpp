// Installs this build into a temporary prefix and packs it as a Debian package, then checks
// what a user's system would receive.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
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

const std::set<std::string> kInstalledFiles = {
    "bin/wrenfold",
    "share/applications/wrenfold.desktop",
    "share/doc/wrenfold/copyright",
    "share/icons/hicolor/scalable/apps/wrenfold.svg",
    "share/wrenfold/autostart/wrenfold.desktop",
};

struct Outcome {
  int exitCode = -1;
  std::string output;  // standard output and standard error together
};

// Runs a program (looked up in PATH) and collects what it prints.
Outcome run(const std::vector<std::string>& arguments) {
  std::array<int, 2> pipe{};
  if (::pipe2(pipe.data(), O_CLOEXEC) != 0) {
    return {};
  }
  const pid_t child = ::fork();
  if (child == 0) {
    ::dup2(pipe[1], STDOUT_FILENO);
    ::dup2(pipe[1], STDERR_FILENO);
    std::vector<char*> argv;
    for (const auto& argument : arguments) {
      argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(pipe[1]);
  Outcome outcome;
  std::array<char, 4096> buffer{};
  for (ssize_t got; (got = ::read(pipe[0], buffer.data(), buffer.size())) > 0;) {
    outcome.output.append(buffer.data(), static_cast<std::size_t>(got));
  }
  ::close(pipe[0]);
  int status = 0;
  if (child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status)) {
    outcome.exitCode = WEXITSTATUS(status);
  }
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
  EXPECT_THAT(readAll(installed("share/icons/hicolor/scalable/apps/wrenfold.svg")), HasSubstr("<svg"));
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
