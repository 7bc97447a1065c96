#include "app/command_line.h"

#include <gtest/gtest.h>

namespace wrenfold::app {
namespace {

TEST(CommandLine, GenerateOptionsInBothSpellings) {
  auto command =
      parseCommandLine({"generate", "--instruction", "更短", "--template=translate.en", "--json", "in.txt"});
  const auto* args = std::get_if<GenerateArguments>(&command);
  ASSERT_NE(args, nullptr);
  EXPECT_EQ(args->instruction, "更短");
  EXPECT_EQ(args->templateID, "translate.en");
  EXPECT_TRUE(args->json);
  EXPECT_EQ(args->file, "in.txt");

  auto fromStdin = parseCommandLine({"generate", "-"});
  EXPECT_FALSE(std::get<GenerateArguments>(fromStdin).file.has_value());
  auto dashFile = parseCommandLine({"generate", "--", "--json"});
  EXPECT_EQ(std::get<GenerateArguments>(dashFile).file, "--json");
}

TEST(CommandLine, MistakesAreUsageErrors) {
  const std::vector<std::vector<std::string>> rows = {{"generate", "--instruction"},
                                                      {"generate", "--bogus"},
                                                      {"generate", "a", "b"},
                                                      {"frobnicate"},
                                                      {"trigger", "now"},
                                                      {"settings", "--json"},
                                                      {"activate"}};
  for (const auto& row : rows) {
    EXPECT_TRUE(std::holds_alternative<UsageError>(parseCommandLine(row))) << row.back();
  }
  EXPECT_TRUE(std::holds_alternative<RunApplication>(parseCommandLine({})));
  EXPECT_TRUE(std::holds_alternative<ShowHelp>(parseCommandLine({"generate", "--help"})));
  EXPECT_TRUE(std::holds_alternative<ShowVersion>(parseCommandLine({"--version"})));
}

TEST(CommandLine, TriggerAndSettingsGoToTheRunningInstance) {
  const std::pair<std::string, RemoteCommand> rows[] = {{"trigger", RemoteCommand::trigger},
                                                        {"settings", RemoteCommand::settings}};
  for (const auto& [name, command] : rows) {
    const auto parsed = parseCommandLine({name});
    ASSERT_TRUE(std::holds_alternative<RemoteRequest>(parsed)) << name;
    EXPECT_EQ(std::get<RemoteRequest>(parsed).command, command);
    EXPECT_TRUE(std::holds_alternative<ShowHelp>(parseCommandLine({name, "--help"})));
    EXPECT_NE(usageText().find("wrenfold " + name), std::string::npos);
  }
}

}  // namespace
}  // namespace wrenfold::app
