#include "platform/linux/accessibility_notices.h"

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <utility>
#include <vector>

#include "core/text/text.h"
#include "platform/linux/process_toolkit.h"

namespace wrenfold {
namespace {

std::string processName(std::int32_t processID) {
  std::ifstream comm("/proc/" + std::to_string(processID) + "/comm");
  std::string name;
  std::getline(comm, name);
  return name.empty() ? std::to_string(processID) : text::repairUtf8(name);
}

std::string joined(const std::vector<std::string>& names) {
  std::string list;
  for (const auto& name : names) {
    list += (list.empty() ? "" : "、") + name;
  }
  return list;
}

// Whether an application already running must be restarted to expose its text.
bool needsRestart(std::int32_t processID, AtspiElementReader& reader, BrowserWakeUp& browsers) {
  const auto app = reader.application(processID);
  if (browsers.isWebRuntime(processID)) {
    return !browsers.exposesPage(app.get());
  }
  return !app || reader.childCount(app.get()) == 0;
}

}  // namespace

std::optional<std::string> AccessibilityNotices::applicationNotice(std::int32_t processID,
                                                                   AtspiElementReader& reader,
                                                                   BrowserWakeUp& browsers) {
  if (noticed_.contains(processID)) {
    return std::nullopt;
  }
  if (browsers.ignoredAnnouncement(processID)) {
    if (browsers.followedLate(processID)) {
      return std::nullopt;
    }
    noticed_.insert(processID);
    return "“" + processName(processID) +
           "”只在启动时决定是否公开网页文字，现在读不到其中的内容。请退出后重新启动它；"
           "如果仍然读不到，请加上启动参数 --force-renderer-accessibility（Electron 应用同样适用）。";
  }
  const auto app = reader.application(processID);
  if (app && reader.childCount(app.get()) > 0) {
    return std::nullopt;
  }
  noticed_.insert(processID);
  // Qt 5 decides once, at start-up, from the bus address on the root window or the bus status,
  // and a session can lack both; the variable makes it expose its tree regardless.
  const std::string qt5 = loadsQt5Gui(processID) ? "如果重新启动后仍然读不到，请在登录环境中设置 "
                                                   "QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1（例如写入 "
                                                   "~/.profile）并重新登录。"
                                                 : "";
  return "“" + processName(processID) +
         "”没有向辅助功能公开界面文字。如果它在开启辅助功能之前就已启动，请重新启动它后再试。" + qt5;
}

std::optional<std::string> AccessibilityNotices::restartNotice(AtspiElementReader& reader,
                                                               BrowserWakeUp& browsers) {
  restartCheckPending_ = false;
  std::vector<std::string> names;
  for (const auto& app : workspace_->runningApplications()) {
    if (app.processID == ::getpid() || !needsRestart(app.processID, reader, browsers)) {
      continue;
    }
    std::string name = app.localizedName.value_or(app.bundleIdentifier.value_or(processName(app.processID)));
    if (std::find(names.begin(), names.end(), name) == names.end()) {
      names.push_back(std::move(name));
    }
  }
  if (names.empty()) {
    return std::nullopt;
  }
  return "辅助功能已开启。以下应用在此之前已经启动，需要重新启动后 Wrenfold 才能读取其中的文字：" +
         joined(names) + "。";
}

}  // namespace wrenfold
