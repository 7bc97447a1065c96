// Renders every settings tab into PNG files on the offscreen platform, over stores in a
// temporary data folder, so the window can be reviewed without a desktop.
//
//   settings_screenshots [OUTPUT_DIR]     (default: <build dir>/screenshots)

#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QPushButton>
#include <QTabWidget>
#include <QTextStream>
#include <cstdio>
#include <functional>

#include "app/autostart.h"
#include "core/settings/settings_permissions.h"
#include "core/settings/settings_view_model.h"
#include "core/trigger/hotkey_controller.h"
#include "core/trigger/shortcut_registry.h"
#include "dark_palette.h"
#include "fakes/fake_accessibility.h"
#include "fakes/fake_global_hot_keys.h"
#include "fakes/fake_modifier_monitor.h"
#include "fakes/fake_user_defaults.h"
#include "fakes/fake_window_capture.h"
#include "fakes/manual_clock.h"
#include "fakes/manual_main_queue.h"
#include "fakes/manual_work_queue.h"
#include "settings/settings_ports.h"
#include "support/temp_dir.h"
#include "ui/settings/settings_window_controller.h"
#include "ui/shortcut/shortcut_settings_tab.h"

namespace wrenfold::testing {
namespace {

const QString kCjkFamily = QStringLiteral("Noto Sans CJK SC");

constexpr const char* kConfig = R"({
  "apiKey": "sk-or-v1-5f0c2a9e71d44b8c",
  "apiKeyRef": "model.openRouter.api-key",
  "baseURL": "https://openrouter.ai/api/v1",
  "maxTokens": 900,
  "model": "openai/gpt-4.1-mini",
  "provider": "openRouter",
  "temperature": 0.45
})";

// One settings window over a fresh data folder with a stored configuration.
class Scene : public SettingsPorts {
 public:
  Scene() {
    writeAll(paths.configURL(), kConfig);
    configs = std::make_unique<ModelConfigStore>(paths);
    memory = std::make_unique<StyleMemoryStore>(paths, logger);
    static_cast<void>(
        memory->updatePreference("回复同事时简洁、友好，少用感叹号；给客户的邮件正式一些，结尾加上“祝好”。"));
    accessibility.setTrusted(true);
    windowCapture.setAvailable(false);
    hotkey.start();
    controller = std::make_unique<SettingsWindowController>(context(*configs, *memory, &autostart), [this] {
      return std::make_unique<ShortcutSettingsTab>(registry, hotkey);
    });
    controller->show();
    settle();
  }

  void settle() {
    SettingsPorts::settle();
    QApplication::processEvents();
  }
  SettingsView& window() const { return *controller->window(); }
  void selectTab(int index) {
    window().tabs().setCurrentIndex(index);
    settle();
  }

  FakeUserDefaults defaults;
  FakeGlobalHotKeys hotKeys;
  FakeModifierMonitor monitor;
  NotificationCenter notifications{mainQueue};
  ShortcutRegistry registry{defaults, hotKeys, notifications};
  HotkeyController hotkey{monitor, registry, mainQueue, clock};
  app::AutostartEntry autostart{dir / "autostart/wrenfold.desktop", dir / "installed/wrenfold.desktop"};
  std::unique_ptr<ModelConfigStore> configs;
  std::unique_ptr<StyleMemoryStore> memory;
  std::unique_ptr<SettingsWindowController> controller;
};

bool capture(const QString& directory, const QString& name, bool dark,
             const std::function<void(Scene&)>& arrange) {
  // The whole application switches, as a desktop theme change would.
  const QPalette light = QApplication::palette();
  if (dark) {
    QApplication::setPalette(darkPalette());
  }
  Scene scene;
  arrange(scene);
  scene.settle();
  const QString path = QDir(directory).filePath(name + QStringLiteral(".png"));
  const bool saved = scene.window().grab().save(path, "PNG");
  QTextStream(stdout) << (saved ? "wrote " : "could not write ") << path << '\n';
  QApplication::setPalette(light);
  return saved;
}

int run(const QString& directory) {
  if (!QDir().mkpath(directory)) {
    std::fprintf(stderr, "settings_screenshots: cannot create %s\n", qPrintable(directory));
    return 1;
  }
  const std::vector<std::pair<QString, std::function<void(Scene&)>>> scenes = {
      {"settings-model",
       [](Scene& s) {
         s.selectTab(0);
         s.window().model().saveModelSettings();
       }},
      {"settings-model-connection-test",
       [](Scene& s) {
         s.selectTab(0);
         s.http.answers.push_back(HttpResponse{200, {}, "{}"});
         s.window().findChild<QPushButton*>(QStringLiteral("testConnection"))->click();
         s.settle();
       }},
      {"settings-model-key-visible",
       [](Scene& s) {
         s.selectTab(0);
         s.window().model().toggleAPIKeyVisible();
       }},
      {"settings-shortcut", [](Scene& s) { s.selectTab(1); }},
      {"settings-templates", [](Scene& s) { s.selectTab(2); }},
      {"settings-templates-failed",
       [](Scene& s) {
         s.selectTab(2);
         // A folder where config.json should be: the save fails, for root too.
         std::filesystem::remove(s.paths.configURL());
         std::filesystem::create_directories(s.paths.configURL());
         s.window().model().saveModelSettings();
       }},
      {"settings-permissions",
       [](Scene& s) {
         s.selectTab(3);
         s.window().permissions().explainScreenRecording();
       }},
      {"settings-privacy", [](Scene& s) { s.selectTab(4); }},
      {"settings-model-dark",
       [](Scene& s) {
         s.selectTab(0);
         s.window().model().saveModelSettings();
       }},
      {"settings-permissions-dark", [](Scene& s) { s.selectTab(3); }},
  };
  bool ok = true;
  for (const auto& [name, arrange] : scenes) {
    ok = capture(directory, name, name.endsWith(QStringLiteral("-dark")), arrange) && ok;
  }
  return ok ? 0 : 1;
}

}  // namespace
}  // namespace wrenfold::testing

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (!QFontDatabase::families().contains(wrenfold::testing::kCjkFamily)) {
    std::fprintf(stderr,
                 "settings_screenshots: the font \"Noto Sans CJK SC\" is missing (install fonts-noto-cjk)\n");
    return 1;
  }
  QFont font = QApplication::font();
  font.setFamilies({font.family(), wrenfold::testing::kCjkFamily});
  QApplication::setFont(font);
  const QString directory =
      argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(WRENFOLD_SCREENSHOT_DIR);
  return wrenfold::testing::run(directory);
}
