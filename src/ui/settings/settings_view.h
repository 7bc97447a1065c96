#pragma once

// The settings content: a tab view padded by 20 with the tabs "模型", "快捷键" (when the
// shortcut tab is given), "模板", "权限" and "隐私". It owns the view state (the key being
// edited, the eye toggle, the status, the permission flags) for the life of the window.
// Above the tabs, hidden unless set, a guide for a user who has not set a model up yet.

#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "core/ai/http_client.h"
#include "core/ai/model_config_store.h"
#include "core/memory/style_memory_store.h"
#include "core/platform/accessibility.h"
#include "core/platform/clock.h"
#include "core/platform/desktop_services.h"
#include "core/platform/input_method.h"
#include "core/platform/launch_at_login.h"
#include "core/platform/main_queue.h"
#include "core/platform/window_capture.h"
#include "core/platform/work_queue.h"
#include "core/support/app_paths.h"
#include "core/support/stored_file.h"

class QLabel;
class QTabWidget;

namespace wrenfold {

class FileNoticesView;
class SettingsPermissions;
class SettingsViewModel;

// What the settings work on; every reference outlives the settings window.
struct SettingsContext {
  ModelConfigStore& modelConfigStore;
  StyleMemoryStore& styleMemoryStore;
  AppPaths paths;
  DesktopServices& desktop;
  Accessibility& accessibility;
  WindowCapture& windowCapture;
  WorkQueue& workQueue;
  MainQueue& mainQueue;
  LaunchAtLogin* launchAtLogin = nullptr;  // absent: the option is not offered
  // The model list and connection test send through these; absent: not offered.
  HttpClient* http = nullptr;
  const Clock* clock = nullptr;
  // Why the user template file was not loaded, when it exists but is unusable.
  const std::optional<FileProblem>* userTemplatesProblem = nullptr;
  // What this desktop session offers, one line per part of a cycle; shown in "权限" when given.
  std::vector<std::string> sessionOffers{};
  // The input-method route, for its row in "权限"; absent: no row.
  InputMethod* inputMethod = nullptr;
};

class SettingsView : public QWidget {
 public:
  static constexpr int kPadding = 20;
  static constexpr int kMinimumWidth = 760;
  static constexpr int kMinimumHeight = 560;

  // `shortcutTab` (the global shortcut recorder) becomes the second tab when given.
  explicit SettingsView(const SettingsContext& context, std::unique_ptr<QWidget> shortcutTab = nullptr,
                        QWidget* parent = nullptr);
  ~SettingsView() override;
  SettingsView(const SettingsView&) = delete;
  SettingsView& operator=(const SettingsView&) = delete;

  [[nodiscard]] QTabWidget& tabs() const { return *tabs_; }
  // The session became known after the window was built (the desktop's portals answer after
  // launch): "快捷键" (when given) and "权限" are made again for it; the other tabs, and what the
  // user typed there, stay.
  void sessionChanged(std::unique_ptr<QWidget> shortcutTab, const std::vector<std::string>& sessionOffers);
  // Shows `text` above the tabs; an empty text hides the guide.
  void setGuide(const QString& text);
  [[nodiscard]] QString guide() const;
  [[nodiscard]] SettingsViewModel& model() const { return *model_; }
  [[nodiscard]] SettingsPermissions& permissions() const { return *permissions_; }

 protected:
  // Each time the content appears the key field is reloaded and the permissions are checked.
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  // The data-file warnings in "隐私" and "模板", read afresh from the stores and the disk.
  void refreshNotices();

  SettingsContext context_;
  std::unique_ptr<SettingsViewModel> model_;
  std::unique_ptr<SettingsPermissions> permissions_;
  QTabWidget* tabs_;
  QWidget* guideRow_;  // the guide and its button
  QLabel* guide_;
  FileNoticesView* privacyNotices_;
  FileNoticesView* templateNotices_;
  Observable::Token configToken_ = 0;
  Observable::Token memoryToken_ = 0;
};

}  // namespace wrenfold
