#include "app/command_line.h"

#include <string_view>

namespace wrenfold::app {
namespace {

bool isHelp(std::string_view a) {
  return a == "--help" || a == "-h";
}
bool isVersion(std::string_view a) {
  return a == "--version" || a == "-V";
}

// Takes the value of an option given as "--name VALUE" or "--name=VALUE"; advances `i`.
std::optional<std::string> optionValue(const std::vector<std::string>& args, std::size_t& i,
                                       std::string_view name, std::string& error) {
  const std::string& arg = args[i];
  if (arg.size() > name.size() && arg.compare(0, name.size(), name) == 0 && arg[name.size()] == '=') {
    return arg.substr(name.size() + 1);
  }
  if (i + 1 >= args.size()) {
    error = std::string(name) + " 需要一个值";
    return std::nullopt;
  }
  return args[++i];
}

bool hasName(std::string_view arg, std::string_view name) {
  return arg == name || (arg.size() > name.size() && arg.starts_with(name) && arg[name.size()] == '=');
}

Command parseGenerate(const std::vector<std::string>& args) {
  GenerateArguments out;
  bool onlyOperands = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string error;
    if (!onlyOperands && isHelp(arg)) {
      return ShowHelp{};
    }
    if (!onlyOperands && arg == "--") {
      onlyOperands = true;
    } else if (!onlyOperands && hasName(arg, "--instruction")) {
      auto value = optionValue(args, i, "--instruction", error);
      if (!value) {
        return UsageError{error};
      }
      out.instruction = *value;
    } else if (!onlyOperands && hasName(arg, "--template")) {
      auto value = optionValue(args, i, "--template", error);
      if (!value) {
        return UsageError{error};
      }
      out.templateID = *value;
    } else if (!onlyOperands && arg == "--json") {
      out.json = true;
    } else if (!onlyOperands && arg.size() > 1 && arg.starts_with("-") && arg != "-") {
      return UsageError{"未知选项：" + arg};
    } else if (out.file) {
      return UsageError{"只能给出一个输入文件"};
    } else {
      out.file = arg;
    }
  }
  if (out.file == "-") {
    out.file.reset();
  }
  return out;
}

// `trigger` and `settings` take no operands; `--help` still shows the usage.
Command parseRemote(const std::vector<std::string>& args, RemoteCommand command) {
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (isHelp(args[i])) {
      return ShowHelp{};
    }
  }
  if (args.size() > 1) {
    return UsageError{args.front() + " 不接受参数：" + args[1]};
  }
  return RemoteRequest{command};
}

}  // namespace

Command parseCommandLine(const std::vector<std::string>& args) {
  if (args.empty()) {
    return RunApplication{};
  }
  const std::string& first = args.front();
  if (isHelp(first)) {
    return ShowHelp{};
  }
  if (isVersion(first)) {
    return ShowVersion{};
  }
  if (first == "generate") {
    return parseGenerate(args);
  }
  if (first == "trigger") {
    return parseRemote(args, RemoteCommand::trigger);
  }
  if (first == "settings") {
    return parseRemote(args, RemoteCommand::settings);
  }
  return UsageError{"未知命令：" + first};
}

std::string usageText() {
  return "用法：\n"
         "  wrenfold                      启动托盘应用\n"
         "  wrenfold generate [--instruction 文本] [--template ID] [--json] [文件|-]\n"
         "                                用文件或标准输入的文本作为上下文生成候选\n"
         "  wrenfold trigger              让正在运行的 Wrenfold 生成候选\n"
         "  wrenfold settings             打开正在运行的 Wrenfold 的设置窗口\n"
         "  wrenfold --help | --version\n"
         "\n"
         "generate 选项：\n"
         "  --instruction 文本   额外指令，也用于选择模板\n"
         "  --template ID        指定模板（不写则按指令匹配）\n"
         "  --json               每个候选输出一行 JSON（id、text、title、confidence）\n"
         "\n"
         "退出码：0 成功，1 生成失败或 Wrenfold 没有在运行，2 用法错误。\n";
}

}  // namespace wrenfold::app
