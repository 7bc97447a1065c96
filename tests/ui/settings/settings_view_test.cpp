// The settings window on the offscreen platform, over real stores in a temporary data folder.
#include <sys/stat.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <memory>

#include "app/autostart.h"
#include "core/settings/settings_permissions.h"
#include "core/settings/settings_view_model.h"
#include "core/templates/prompt_template_engine.h"
#include "fakes/fake_accessibility.h"
#include "fakes/fake_window_capture.h"
#include "fakes/manual_clock.h"
#include "fakes/manual_main_queue.h"
#include "fakes/manual_work_queue.h"
#include "settings/settings_ports.h"
#include "support/temp_dir.h"
#include "ui/common/style.h"
#include "ui/settings/file_notices_view.h"
#include "ui/settings/permission_row.h"
#include "ui/settings/permission_settings_tab.h"
#include "ui/settings/save_status_view.h"
#include "ui/settings/settings_window_controller.h"
#include "ui/settings/status_label.h"

namespace wrenfold::testing {
namespace {

// A stored configuration that differs from every provider's recommendations.
constexpr const char* kStoredConfig =
    "{\"apiKey\": \"sk-stored\", \"apiKeyRef\": \"model.openAICompatible.api-key\","
    " \"baseURL\": \"https://llm.example.test/v1\", \"maxTokens\": 1280, \"model\": \"house-model\","
    " \"provider\": \"openAICompatible\", \"temperature\": 0.7}";

class Harness : public SettingsPorts {
 public:
  explicit Harness(const char* storedConfig = kStoredConfig, LaunchAtLogin* launchAtLogin = nullptr) {
    if (storedConfig != nullptr) {
      writeAll(paths.configURL(), storedConfig);
    }
    configs = std::make_unique<ModelConfigStore>(paths);
    memory = std::make_unique<StyleMemoryStore>(paths, logger);
    controller = std::make_unique<SettingsWindowController>(context(*configs, *memory, launchAtLogin));
    controller->show();
    settle();
  }

  SettingsView& window() const { return *controller->window(); }
  template <class T>
  T* find(const char* name) const {
    // By name, then checked by C++ type: most settings widgets have no meta-object of their own.
    T* widget = dynamic_cast<T*>(window().findChild<QObject*>(QString::fromLatin1(name)));
    if (widget == nullptr) {
      qFatal("no widget named %s", name);
    }
    return widget;
  }
  void selectTab(const QString& label) const {
    QTabWidget& tabs = window().tabs();
    for (int i = 0; i < tabs.count(); ++i) {
      if (tabs.tabText(i) == label) {
        tabs.setCurrentIndex(i);
      }
    }
  }
  QPushButton* button(const QString& text) const {
    for (QPushButton* b : window().findChildren<QPushButton*>()) {
      if (b->text() == text) {
        return b;
      }
    }
    qFatal("no button %s", qPrintable(text));
  }
  QString configOnDisk() const { return QString::fromStdString(readAll(paths.configURL())); }

  std::unique_ptr<ModelConfigStore> configs;
  std::unique_ptr<StyleMemoryStore> memory;
  std::unique_ptr<SettingsWindowController> controller;
};

void chooseProvider(const Harness& h, ModelProvider provider) {
  auto* picker = h.find<QComboBox>("provider");
  picker->setCurrentIndex(picker->findText(QString::fromUtf8(provider.displayName().data())));
}

// Makes saving config.json fail for any user, root included: the data folder is read-only,
// and a directory stands where the file would be replaced. Undone at the end of the scope.
class UnwritableConfig {
 public:
  explicit UnwritableConfig(const AppPaths& paths) : folder_(paths.appSupportURL()) {
    std::filesystem::remove(paths.configURL());
    std::filesystem::create_directories(paths.configURL());
    ::chmod(folder_.c_str(), 0500);
  }
  ~UnwritableConfig() { ::chmod(folder_.c_str(), 0700); }
  UnwritableConfig(const UnwritableConfig&) = delete;
  UnwritableConfig& operator=(const UnwritableConfig&) = delete;

 private:
  std::filesystem::path folder_;
};

}  // namespace

class SettingsViewTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

  void windowIsBuiltOnceAndReused() {
    Harness h;
    SettingsView* first = &h.window();
    // An unsaved key is dropped when the window comes back; the window itself is reused.
    QTest::keyClicks(h.find<QLineEdit>("apiKey"), "-typed");
    first->close();
    h.controller->show();
    QCOMPARE(&h.window(), first);
    QVERIFY(h.window().isVisible());
    QCOMPARE(h.find<QLineEdit>("apiKey")->text(), QStringLiteral("sk-stored"));

    first->showMinimized();
    h.controller->show();
    QVERIFY(!h.window().isMinimized());
    // Without an autostart entry to manage, starting with the session is not offered.
    QVERIFY(h.window().findChild<QCheckBox*>(QStringLiteral("launchAtLogin")) == nullptr);
  }

  void providerSwitchFillsRecommendationsWithoutSaving() {
    Harness h;
    h.find<QPushButton>("save")->click();
    QVERIFY(h.find<SaveStatusView>("saveStatus")->isVisibleTo(&h.window()));
    const QString savedBytes = h.configOnDisk();
    const ModelConfig saved = h.configs->config();

    QTest::keyClicks(h.find<QLineEdit>("apiKey"), "-unsaved");
    chooseProvider(h, ModelProvider::anthropic);

    const ModelConfig& draft = h.window().model().config();
    QCOMPARE(draft.provider, ModelProvider(ModelProvider::anthropic));
    QCOMPARE(draft.baseURL, std::string("https://api.anthropic.com"));
    QCOMPARE(draft.model, std::string("claude-sonnet-4-5"));
    QCOMPARE(draft.apiKeyRef, std::string("model.anthropic.api-key"));
    QCOMPARE(draft.temperature, 0.7);
    QCOMPARE(draft.maxTokens, std::int64_t{1280});
    QCOMPARE(h.find<QLineEdit>("baseURL")->text(), QStringLiteral("https://api.anthropic.com"));
    QCOMPARE(h.find<QLineEdit>("model")->text(), QStringLiteral("claude-sonnet-4-5"));
    QVERIFY(!h.find<SaveStatusView>("saveStatus")->isVisibleTo(&h.window()));
    // The OpenAI key is not offered to Anthropic; cycles keep the saved service until a save.
    QCOMPARE(h.find<QLineEdit>("apiKey")->text(), QString());
    QVERIFY(h.find<QLabel>("apiKeyNote")->text().contains(QStringLiteral("切换服务商会清空 Key")));
    QCOMPARE(h.configs->config(), saved);
    QCOMPARE(h.configOnDisk(), savedBytes);

    chooseProvider(h, ModelProvider::openAICompatible);
    QCOMPARE(h.find<QLineEdit>("apiKey")->text(), QStringLiteral("sk-stored"));
  }

  void editsReachTheCyclesOnlyWhenSaved() {
    Harness h;
    const ModelConfig saved = h.configs->config();
    QTest::keyClicks(h.find<QLineEdit>("model"), "-2");
    h.find<QSlider>("temperature")->setValue(12);
    h.find<QSpinBox>("maxTokens")->stepBy(1);
    QCOMPARE(h.find<QSpinBox>("maxTokens")->text(), QStringLiteral("最多 1344 tokens"));
    QVERIFY(!h.find<QCheckBox>("streamReplies")->isChecked());
    h.find<QCheckBox>("streamReplies")->click();
    QLineEdit* key = h.find<QLineEdit>("apiKey");
    key->clear();
    QTest::keyClicks(key, "  sk-blank  ");
    QCOMPARE(h.configs->config(), saved);

    QCOMPARE(key->echoMode(), QLineEdit::Password);
    h.find<QToolButton>("apiKeyVisibility")->click();
    QCOMPARE(key->echoMode(), QLineEdit::Normal);

    QVERIFY(QTest::qWaitForWindowActive(&h.window()));
    // A count still being typed (not yet committed by leaving the box) is saved too.
    auto* tokens = h.find<QSpinBox>("maxTokens");
    tokens->setFocus();
    tokens->selectAll();
    QTest::keyClicks(tokens, "2048");
    QTest::keySequence(&h.window(), QKeySequence(QStringLiteral("Ctrl+S")));
    QTRY_COMPARE(h.configs->config().apiKey, std::string("  sk-blank  "));  // the button animates its click
    QCOMPARE(h.configs->config().model, std::string("house-model-2"));
    QCOMPARE(h.configs->config().temperature, 0.6);
    QCOMPARE(h.configs->config().maxTokens, std::int64_t{2048});
    QVERIFY(h.configOnDisk().contains(QStringLiteral("\"apiKey\": \"  sk-blank  \"")));
    QVERIFY(h.configOnDisk().contains(QStringLiteral("\"maxTokens\": 2048")));
    QVERIFY(h.configOnDisk().contains(QStringLiteral("\"model\": \"house-model-2\"")));
    QVERIFY(h.configOnDisk().contains(QStringLiteral("\"streamReplies\": true")));
    QCOMPARE(h.find<SaveStatusView>("saveStatus")->text(), QStringLiteral("已保存"));
    // Without a secret store the keyring is not offered.
    QVERIFY(!h.find<QCheckBox>("apiKeyInKeyring")->isVisibleTo(&h.window()));
  }

  void saveFailureShowsInTheTemplateTabUntilTheProviderChanges() {
    Harness h;
    const UnwritableConfig unwritable(h.paths);
    h.find<QPushButton>("save")->click();
    auto* modelStatus = h.find<SaveStatusView>("saveStatus");
    auto* templateStatus = h.find<SaveStatusView>("templateStatus");
    QVERIFY(modelStatus->tone() == &style::warning);
    QVERIFY(!modelStatus->text().isEmpty());
    h.selectTab(QStringLiteral("模板"));
    QVERIFY(templateStatus->isVisible());
    QCOMPARE(templateStatus->text(), modelStatus->text());

    chooseProvider(h, ModelProvider::gemini);
    QVERIFY(!templateStatus->isVisibleTo(&h.window()));
  }

  void createUserTemplateFileButtonMakesTheFileAndOpensIt() {
    Harness h;
    h.selectTab(QStringLiteral("模板"));
    h.button(QStringLiteral("创建用户模板文件"))->click();
    QCOMPARE(readAll(h.paths.userTemplatesURL()), std::string("[]\n"));
    QCOMPARE(h.desktop.opened, std::vector<std::string>{h.paths.userTemplatesURL().string()});
    QVERIFY(!h.find<SaveStatusView>("templateStatus")->isVisibleTo(&h.window()));
  }

  void preferenceIsSavedOffTheMainThreadOnceTypingPausesAndWhenTheWindowCloses() {
    Harness h;
    h.memory->setWriter(&h.workQueue);
    const auto onDisk = [&h](const char* preference) {
      return std::filesystem::exists(h.paths.styleMemoryURL()) &&
             readAll(h.paths.styleMemoryURL())
                     .find(std::string("\"userWrittenPreference\": \"") + preference + "\"") !=
                 std::string::npos;
    };
    h.selectTab(QStringLiteral("隐私"));
    auto* field = h.find<QPlainTextEdit>("preference");
    QTest::keyClicks(field, "short");
    QCOMPARE(h.memory->memory().userWrittenPreference, std::string("short"));  // the next prompt has it
    h.mainQueue.advance(SettingsViewModel::kPreferenceSaveDelay);
    QVERIFY(!onDisk("short"));  // written by the worker, not by the main thread
    h.settle();
    QVERIFY(onDisk("short"));

    QTest::keyClick(field, Qt::Key_Backspace);
    h.window().close();  // before the pause is over
    h.settle();
    QVERIFY(onDisk("shor"));

    h.controller->show();
    h.button(QStringLiteral("清除语气样本"))->click();
    h.settle();
    QCOMPARE(field->toPlainText(), QString());
    QVERIFY(onDisk(""));
  }

  void dataFileProblemsAreToldInThePrivacyAndTemplateTabs() {
    const char* corrupt = "{\"apiKey\": \"sk-hand-edited\", \"maxTokens\": \"900\"}";
    Harness h(corrupt);
    writeAll(h.paths.userTemplatesURL(), "[{\"id\": \"user.t1\"}]");
    const PromptTemplateEngine engine(h.paths);
    auto context = h.context(*h.configs, *h.memory);
    context.userTemplatesProblem = &engine.userTemplatesProblem();
    SettingsView view(context);
    view.show();
    const auto notices = [&](const char* name) {
      std::string all;
      for (const auto& notice : dynamic_cast<FileNoticesView*>(view.findChild<QObject*>(name))->notices()) {
        all += notice + "\n";
      }
      return all;
    };
    QVERIFY(notices("privacyNotices").find("config.json 无法读取：JSON 解码失败") != std::string::npos);
    QVERIFY(notices("privacyNotices").find("sk-hand-edited") == std::string::npos);
    QVERIFY(notices("templateNotices").find("user-templates.json 无法读取") != std::string::npos);

    // Saving keeps the hand-edited file byte for byte and says where.
    dynamic_cast<QPushButton*>(view.findChild<QObject*>("save"))->click();
    QVERIFY(h.configs->loadProblem()->keptAs);
    QCOMPARE(readAll(*h.configs->loadProblem()->keptAs), std::string(corrupt));
    QVERIFY(notices("privacyNotices").find("原文件已另存为 " + h.configs->loadProblem()->keptAs->string()) !=
            std::string::npos);

    // Made readable by others by hand: said the next time the window appears.
    ::chmod(h.paths.configURL().c_str(), 0644);
    view.hide();
    view.show();
    QVERIFY(notices("privacyNotices").find("chmod 600 " + h.paths.configURL().string()) != std::string::npos);
  }

  void startWithTheSessionWritesTheAutostartEntryAndShowsWhyItCannot() {
    TempDir session;
    const auto installed = session / "share/wrenfold/autostart/wrenfold.desktop";
    std::filesystem::create_directories(installed.parent_path());
    writeAll(installed, "[Desktop Entry]\nType=Application\nName=Wrenfold\nExec=wrenfold\n");
    app::AutostartEntry entry(session / "config/autostart/wrenfold.desktop", installed);
    Harness h(kStoredConfig, &entry);
    h.selectTab(QStringLiteral("隐私"));
    auto* box = h.find<QCheckBox>("launchAtLogin");
    QVERIFY(!box->isChecked());

    box->click();
    QVERIFY(entry.isEnabled());
    QCOMPARE(readAll(entry.entryFile()), readAll(installed));
    box->click();
    QVERIFY(!std::filesystem::exists(entry.entryFile()));

    // Not installed: the box stays off and the tab says which file is missing.
    std::filesystem::remove(installed);
    box->click();
    QVERIFY(!box->isChecked());
    QVERIFY(!std::filesystem::exists(entry.entryFile()));
    QVERIFY(h.window().model().launchAtLoginStatus().kind == SaveStatus::Kind::failed);
    QVERIFY(h.window().model().launchAtLoginStatus().message.find("wrenfold.desktop") != std::string::npos);
    // Its own section only: the model and template tabs' status rows stay quiet.
    QVERIFY(h.window().model().status().kind == SaveStatus::Kind::idle);
    QVERIFY(!h.find<SaveStatusView>("saveStatus")->isVisibleTo(&h.window()));
  }

  void temperatureLabelFollowsTheLocale_data() {
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<int>("ticks");
    QTest::addColumn<QString>("label");
    QTest::newRow("default temperature") << QLocale(QLocale::English) << -1 << QStringLiteral("0.45");
    QTest::newRow("decimal comma") << QLocale(QLocale::German) << -1 << QStringLiteral("0,45");
    QTest::newRow("slider moved, decimal comma") << QLocale(QLocale::French) << 19 << QStringLiteral("0,95");
    QTest::newRow("slider at zero") << QLocale(QLocale::English) << 0 << QStringLiteral("0.00");
  }
  void temperatureLabelFollowsTheLocale() {
    QFETCH(QLocale, locale);
    QFETCH(int, ticks);
    QFETCH(QString, label);
    QLocale::setDefault(locale);
    Harness h(nullptr);  // no config.json: the default temperature
    if (ticks >= 0) {
      h.find<QSlider>("temperature")->setValue(ticks);
    }
    QCOMPARE(h.find<QLabel>("temperatureValue")->text(), label);
  }

  void permissionRowsShowWhatTheDesktopGrants() {
    Harness h;
    h.accessibility.setTrusted(false);
    h.windowCapture.setAvailable(false);
    h.inputMethod.currentStatus = InputMethodStatus::withoutAddon;
    h.window().permissions().refresh();
    QCOMPARE(h.workQueue.pendingCount(), std::size_t{1});  // the capture check waits for the worker
    h.settle();
    auto* tab = h.find<PermissionSettingsTab>("permissionsTab");
    QCOMPARE(tab->accessibilityRow().grantLabel(), QStringLiteral("需要授权"));
    QCOMPARE(tab->screenRecordingRow().grantLabel(), QStringLiteral("需要授权"));

    h.accessibility.setTrusted(true);  // as if enabling succeeded
    tab->accessibilityRow().actionButton()->click();
    h.settle();
    QCOMPARE(h.accessibility.trustPrompts(), 1);
    QCOMPARE(tab->accessibilityRow().grantLabel(), QStringLiteral("已授权"));
    QVERIFY(tab->accessibilityRow().explanation().contains(QStringLiteral("重新启动")));

    tab->screenRecordingRow().actionButton()->click();
    h.settle();
    QVERIFY(tab->screenRecordingRow().explanation().contains(QStringLiteral("Wayland")));

    // Fcitx 5 without the addon: what to do; with it, granted.
    auto* inputMethod = tab->inputMethodRow();
    QVERIFY(inputMethod != nullptr);
    QCOMPARE(inputMethod->grantLabel(), QStringLiteral("需要授权"));
    inputMethod->actionButton()->click();
    h.settle();
    QVERIFY(inputMethod->explanation().contains(QStringLiteral("fcitx5 -r")));
    // Loaded, but this Wrenfold is not the installed one it answers: not granted, and why.
    h.inputMethod.currentStatus = InputMethodStatus::refusesUs;
    h.window().permissions().refresh();
    h.settle();
    QCOMPARE(inputMethod->grantLabel(), QStringLiteral("需要授权"));
    QVERIFY(inputMethod->explanation().contains(QStringLiteral("已安装的 Wrenfold")));
    h.inputMethod.currentStatus = InputMethodStatus::ready;
    h.window().permissions().refresh();
    h.settle();
    QCOMPARE(inputMethod->grantLabel(), QStringLiteral("已授权"));
  }

  // Before a key would cross the network unencrypted, the tab says so: plain http to a host that
  // is neither this machine nor a private network (a name is not taken for local unless localhost).
  void plainHttpToARemoteHostIsWarnedAbout() {
    Harness h;
    const std::pair<const char*, bool> rows[] = {
        {"http://llm.example.test/v1", true},   {"https://llm.example.test/v1", false},
        {"http://192.168.1.20:8080/v1", false}, {"http://[::1]:11434/v1", false},
        {"http://localhost:8080", false},       {"http://10.0.0.5/v1", false},
        {"http://172.31.9.9/v1", false},        {"http://172.32.0.1/v1", true},
        {"http://[fd12::1]/v1", false},         {"http://100.64.0.1/v1", true},
        {"http://127.0.0.1.example.com", true}};
    for (const auto& [address, warned] : rows) {
      h.window().model().setBaseURL(address);
      QCOMPARE(!h.find<StatusLabel>("clearTextWarning")->isHidden(), warned);
    }
  }

  // A local server chosen from "本地服务": its address, then its models, asked without the saved
  // key (which belongs to the saved address).
  void localServerPresetFillsTheAddressAndListsItsModels() {
    Harness h;
    h.http.answers.push_back(HttpResponse{200, {}, R"({"data":[{"id":"qwen2.5:7b"},{"id":"llama3.2:3b"}]})"});
    h.find<QPushButton>("localServers")->menu()->actions().at(0)->trigger();  // Ollama
    h.settle();
    QCOMPARE(h.find<QLineEdit>("baseURL")->text(), QStringLiteral("http://127.0.0.1:11434/v1"));
    QCOMPARE(h.http.sent.back().url, std::string("http://127.0.0.1:11434/v1/models"));
    QCOMPARE(h.http.sent.back().headers.size(), std::size_t{0});
    QCOMPARE(h.find<QLineEdit>("model")->completer()->model()->rowCount(), 2);
  }

  void captureAnswerAfterTheWindowIsGoneIsDropped() {
    auto h = std::make_unique<Harness>();
    h->window().permissions().refresh();
    h->controller.reset();
    h->settle();  // must not touch the destroyed view state
    QCOMPARE(h->mainQueue.pendingCount(), std::size_t{0});
  }
};

}  // namespace wrenfold::testing

QTEST_MAIN(wrenfold::testing::SettingsViewTest)
#include "settings_view_test.moc"
