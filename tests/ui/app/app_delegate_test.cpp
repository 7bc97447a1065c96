// The application delegate over in-memory ports on the offscreen platform (which has no tray),
// and the desktop composition's checks for what a session lacks.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "app/app_delegate.h"
#include "app/generate_command.h"
#include "core/ai/curl_http_client.h"
#include "core/platform/thread_work_queue.h"
#include "core/settings/settings_view_model.h"
#include "fakes/fake_accessibility.h"
#include "fakes/fake_global_hot_keys.h"
#include "fakes/fake_image_codec.h"
#include "fakes/fake_key_events.h"
#include "fakes/fake_modifier_monitor.h"
#include "fakes/fake_pasteboard.h"
#include "fakes/fake_user_defaults.h"
#include "fakes/fake_window_capture.h"
#include "fakes/fake_workspace.h"
#include "fakes/recording_desktop_services.h"
#include "platform/linux/libsecret_secret_store.h"
#include "platform/qt/qt_main_queue.h"
#include "support/scoped_environment.h"
#include "support/temp_dir.h"
#include "support/test_http_server.h"
#include "ui/settings/settings_view.h"

namespace wrenfold::testing {
namespace {

// Alt+Space, stored as the custom shortcut and held by another program, when `shortcutHeld`.
app::DesktopPorts fakePorts(std::shared_ptr<FakeModifierMonitor> monitor, bool shortcutHeld = false) {
  app::DesktopPorts ports;
  ports.mainQueue = std::make_unique<QtMainQueue>();
  ports.clock = std::make_unique<SystemClock>();
  auto defaults = std::make_unique<FakeUserDefaults>();
  auto hotKeys = std::make_shared<FakeGlobalHotKeys>();
  if (shortcutHeld) {
    static_cast<void>(defaults->setString("ShortcutRegistry_showAssistant",
                                          R"({"carbonKeyCode":49,"carbonModifiers":2048})"));
    hotKeys->takeByAnotherApplication({49, 2048});
  }
  ports.userDefaults = std::move(defaults);
  ports.modifierMonitor = std::move(monitor);
  ports.globalHotKeys = std::move(hotKeys);
  auto accessibility = std::make_unique<FakeAccessibility>();
  accessibility->setTrusted(false);
  ports.accessibility = std::move(accessibility);
  ports.workspace = std::make_unique<FakeWorkspace>();
  ports.pasteboard = std::make_unique<FakePasteboard>();
  ports.keyEvents = std::make_unique<FakeKeyEvents>();
  ports.desktop = std::make_unique<RecordingDesktopServices>();
  ports.imageCodec = std::make_unique<FakeImageCodec>();
  ports.windowCapture = std::make_unique<FakeWindowCapture>();
  ports.http = std::make_unique<CurlHttpClient>(*ports.mainQueue, HttpClientOptions{});
  ports.workQueue = std::make_unique<ThreadWorkQueue>();
  return ports;
}

struct Launched {
  explicit Launched(bool doubleTapAvailable = true, bool shortcutHeld = false)
      : delegate{paths, std::make_shared<SilentSystemLog>(), fakePorts(monitor, shortcutHeld)} {
    monitor->setAvailable(doubleTapAvailable);
    delegate.applicationDidFinishLaunching();
  }
  QString log() {
    delegate.logger().flush();
    return QString::fromStdString(readAll(paths.logURL()));
  }

  TempDir dir;
  AppPaths paths{dir / "Wrenfold"};
  std::shared_ptr<FakeModifierMonitor> monitor = std::make_shared<FakeModifierMonitor>();
  app::AppDelegate delegate;
};

QAction* menuAction(QMenu& menu, const QString& text) {
  for (QAction* action : menu.actions()) {
    if (action->text() == text) {
      return action;
    }
  }
  qFatal("no menu entry %s", qPrintable(text));
}

// One generation on typed context, as the overlay's regeneration runs it; true once it ended.
bool generateOnTypedContext(app::AppDelegate& delegate) {
  bool finished = false;
  delegate.orchestrator().generate("reply.quick", "", "明天上午十点的会还开吗？",
                                   [&finished] { finished = true; });
  return QTest::qWaitFor([&finished] { return finished; }, 20000);
}

// A loopback OpenAI-compatible service that answers every request with one candidate.
void answerWithOneCandidate(TestHttpServer& server) {
  json::Json reply;
  reply["choices"][0]["message"] = {{"role", "assistant"}, {"content", R"({"candidates":[{"text":"好"}]})"}};
  server.setHandler([r = reply.dump()](const RecordedRequest&) { return CannedResponse::json(200, r); });
}

app::DesktopPorts portsWithKeyring() {
  app::DesktopPorts ports = fakePorts(std::make_shared<FakeModifierMonitor>());
  ports.secrets = std::make_unique<LibsecretSecretStore>();
  return ports;
}

// `wrenfold generate` on typed context with the real keyring; its exit code and standard error.
std::pair<int, std::string> runGenerateCommand(const AppPaths& paths) {
  std::istringstream in("明天上午十点的会还开吗？");
  std::ostringstream out;
  std::ostringstream err;
  LibsecretSecretStore secrets;
  app::GenerateEnvironment env{paths, in, out, err, std::make_shared<SilentSystemLog>(), {}, &secrets};
  const int code = app::runGenerate({}, env);
  return {code, err.str()};
}

std::optional<std::string> lastKeySent(const TestHttpServer& server) {
  const auto requests = server.requests();
  return requests.empty() ? std::nullopt : requests.back().header("Authorization");
}

template <class T>
T* settingsWidget(app::AppDelegate& delegate, const char* name) {
  T* widget = delegate.settings().window()->findChild<T*>(QString::fromLatin1(name));
  if (widget == nullptr) {
    qFatal("no settings widget %s", name);
  }
  return widget;
}

}  // namespace

class AppDelegateTest : public QObject {
  Q_OBJECT

 private slots:
  void launchCreatesTheDataFolderAndSaysWhatIsMissing_data() {
    QTest::addColumn<bool>("doubleTap");
    QTest::addColumn<bool>("shortcutHeld");
    QTest::addColumn<int>("problems");
    QTest::newRow("double tap available") << true << false << 2;
    QTest::newRow("no double tap either") << false << false << 3;
    QTest::newRow("stored shortcut held by another program") << true << true << 3;
  }
  void launchCreatesTheDataFolderAndSaysWhatIsMissing() {
    QFETCH(bool, doubleTap);
    QFETCH(bool, shortcutHeld);
    QFETCH(int, problems);
    Launched app(doubleTap, shortcutHeld);
    for (const auto& folder : {app.paths.templatesDirectoryURL(), app.paths.styleDirectoryURL(),
                               app.paths.eventsDirectoryURL(), app.paths.logsDirectoryURL()}) {
      QVERIFY(std::filesystem::is_directory(folder));
    }
    const QString log = app.log();
    QVERIFY(log.contains(QStringLiteral("INFO Wrenfold launched")));
    QVERIFY(log.contains(QStringLiteral("辅助功能未开启")));
    QVERIFY(log.contains(QStringLiteral("没有系统托盘")));  // the offscreen platform has none
    QCOMPARE(log.contains(QStringLiteral("XInput 2")), !doubleTap);
    QCOMPARE(app.delegate.sessionProblems().size(), static_cast<std::size_t>(problems));
    QCOMPARE(app.monitor->isRunning(), doubleTap);  // also in place of a shortcut that does not work
    QCOMPARE(log.contains(QStringLiteral("快捷键 Alt+Space 没有生效")), shortcutHeld);
  }

  void trayMenuOpensTheSettings() {
    Launched app;
    menuAction(app.delegate.menuBar()->menu(), QStringLiteral("设置"))->trigger();
    SettingsView* window = app.delegate.settings().window();
    QVERIFY(window != nullptr && window->isVisible());
  }

  void openSettingsRequestFromAnyThreadOpensOneWindow() {
    Launched app;
    std::thread poster([&] { app.delegate.notifications().post({std::string(kOpenSettingsRequested), {}}); });
    poster.join();
    QTRY_VERIFY(app.delegate.settings().window() != nullptr && app.delegate.settings().window()->isVisible());
    SettingsView* window = app.delegate.settings().window();
    window->close();

    // The overlay's "打开设置" goes through the same notification and brings back the same window.
    app.delegate.overlay().onOpenSettings();
    QTRY_VERIFY(window->isVisible());
    QCOMPARE(app.delegate.settings().window(), window);
  }

  void aPreferenceTypedJustBeforeQuittingIsSaved() {
    Launched app;
    app.delegate.settings().show();
    auto* field = app.delegate.settings().window()->findChild<QPlainTextEdit*>(QStringLiteral("preference"));
    QVERIFY(field != nullptr);
    QTest::keyClicks(field, "brief");
    app.delegate.applicationWillTerminate();  // at once, well inside the pause before a save
    QVERIFY(readAll(app.paths.styleMemoryURL()).find("\"userWrittenPreference\": \"brief\"") !=
            std::string::npos);
  }

  void missingDisplayIsReportedBeforeQtStarts_data() {
    QTest::addColumn<QByteArray>("platform");
    QTest::addColumn<QByteArray>("display");
    QTest::addColumn<QString>("expected");  // empty: nothing missing
    QTest::newRow("no display at all")
        << QByteArray("xcb") << QByteArray() << QStringLiteral("未设置 DISPLAY");
    QTest::newRow("display that does not answer")
        << QByteArray("xcb") << QByteArray(":917") << QStringLiteral("“:917”");
    QTest::newRow("offscreen needs none") << QByteArray("offscreen") << QByteArray() << QString();
  }
  void missingDisplayIsReportedBeforeQtStarts() {
    QFETCH(QByteArray, platform);
    QFETCH(QByteArray, display);
    QFETCH(QString, expected);
    const ScopedEnvironment qpa("QT_QPA_PLATFORM", platform.constData());
    const ScopedEnvironment x("DISPLAY", display.isEmpty() ? nullptr : display.constData());
    const auto missing = app::missingDisplay();
    if (expected.isEmpty()) {
      QVERIFY(!missing.has_value());
    } else {
      QVERIFY(missing.has_value());
      QVERIFY(QString::fromStdString(*missing).contains(expected));
    }
  }

  void realPortsWithoutDisplayOrAccessibilityBusReportInsteadOfCrashing() {
    const ScopedEnvironment x("DISPLAY", nullptr);
    const ScopedEnvironment bus("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/wrenfold-test-bus");
    const ScopedEnvironment a11y("AT_SPI_BUS_ADDRESS", nullptr);
    app::DesktopPorts ports = app::makeDesktopPorts();
    const auto missing = app::missingCapabilities(*ports.accessibility, *ports.windowCapture);
    QCOMPARE(missing.size(), std::size_t{2});
    QVERIFY(!ports.workspace->frontmostApplication().has_value());
  }

  void keyGoesOnlyToTheServiceItWasEnteredFor() {
    TestHttpServer openAI;
    TestHttpServer anthropic;
    answerWithOneCandidate(openAI);
    json::Json anthropicReply;
    anthropicReply["content"][0] = {{"type", "text"}, {"text", R"({"candidates":[{"text":"好"}]})"}};
    anthropic.setHandler(
        [r = anthropicReply.dump()](const RecordedRequest&) { return CannedResponse::json(200, r); });
    TempDir dir;
    const AppPaths paths{dir / "Wrenfold"};
    writeAll(paths.configURL(),
             json::Json{{"provider", "openAICompatible"}, {"baseURL", openAI.url()}, {"apiKey", "sk-openai"}}
                 .dump());
    app::AppDelegate delegate{paths, std::make_shared<SilentSystemLog>(),
                              fakePorts(std::make_shared<FakeModifierMonitor>())};
    delegate.applicationDidFinishLaunching();
    delegate.showSettings();
    auto* provider = settingsWidget<QComboBox>(delegate, "provider");
    auto* baseURL = settingsWidget<QLineEdit>(delegate, "baseURL");
    auto* key = settingsWidget<QLineEdit>(delegate, "apiKey");

    // The user switches to Anthropic and points it at another host, without saving yet.
    provider->setCurrentIndex(provider->findText(QStringLiteral("Anthropic")));
    baseURL->clear();
    QTest::keyClicks(baseURL, QString::fromStdString(anthropic.url()));
    QVERIFY(generateOnTypedContext(delegate));
    QVERIFY2(anthropic.requests().empty(), "a key went to a host it was not entered for");
    QCOMPARE(openAI.requests().size(), std::size_t{1});
    QCOMPARE(openAI.requests()[0].header("Authorization"), std::optional<std::string>("Bearer sk-openai"));

    // Saved without a key of its own: the OpenAI key is not sent to the new host.
    QCOMPARE(key->text(), QString());
    settingsWidget<QPushButton>(delegate, "save")->click();
    QVERIFY(generateOnTypedContext(delegate));
    QCOMPARE(delegate.overlay().model().phase().message(), std::string("请先在设置中配置模型 API Key。"));
    QVERIFY(anthropic.requests().empty());
    QVERIFY(readAll(paths.configURL()).find("sk-openai") == std::string::npos);

    QTest::keyClicks(key, "sk-anthropic");
    settingsWidget<QPushButton>(delegate, "save")->click();
    QVERIFY(generateOnTypedContext(delegate));
    QCOMPARE(anthropic.requests().size(), std::size_t{1});
    QCOMPARE(anthropic.requests()[0].header("x-api-key"), std::optional<std::string>("sk-anthropic"));
    QCOMPARE(openAI.requests().size(), std::size_t{1});
  }

  void keyKeptInTheKeyringIsReadByTheTrayAppAndByGenerate() {
    if (!qEnvironmentVariableIsSet("KEYRING_SESSION")) {
      QSKIP("needs a Secret Service of its own: runs under scripts/keyring-session");
    }
    const QString secretTool = QStandardPaths::findExecutable(QStringLiteral("secret-tool"));
    if (secretTool.isEmpty()) {
      QSKIP("secret-tool is not installed (Debian package libsecret-tools)");
    }
    // The witness: what the keyring holds, asked by a program of its own.
    const auto keyringHolds = [&secretTool] {
      QProcess lookup;
      lookup.start(secretTool,
                   {"lookup", "service", "openAICompatible", "reference", "model.openAICompatible.api-key"});
      lookup.waitForFinished();
      return lookup.readAllStandardOutput().toStdString();
    };
    TestHttpServer server;
    answerWithOneCandidate(server);
    TempDir dir;
    const AppPaths paths{dir / "Wrenfold"};
    writeAll(paths.configURL(),
             json::Json{{"provider", "openAICompatible"}, {"baseURL", server.url()}, {"apiKey", "sk-in-file"}}
                 .dump());
    {
      app::AppDelegate delegate{paths, std::make_shared<SilentSystemLog>(), portsWithKeyring()};
      delegate.applicationDidFinishLaunching();
      // Nothing moves without the user's choice: the key in config.json keeps working.
      QVERIFY(generateOnTypedContext(delegate));
      QCOMPARE(lastKeySent(server), std::optional<std::string>("Bearer sk-in-file"));
      delegate.showSettings();
      auto* inKeyring = settingsWidget<QCheckBox>(delegate, "apiKeyInKeyring");
      QTRY_VERIFY(inKeyring->isVisible());  // once the Secret Service answered
      QCOMPARE(keyringHolds(), std::string());
      inKeyring->click();
      auto* key = settingsWidget<QLineEdit>(delegate, "apiKey");
      key->clear();
      QTest::keyClicks(key, "sk-in-keyring");
      settingsWidget<QPushButton>(delegate, "save")->click();
      QTRY_VERIFY(delegate.settings().window()->model().status().kind == SaveStatus::Kind::saved);
    }
    const std::string file = readAll(paths.configURL());
    QVERIFY(file.find("\"apiKeyStorage\": \"keyring\"") != std::string::npos);
    QVERIFY(file.find("\"apiKey\"") == std::string::npos && file.find("sk-in") == std::string::npos);
    QCOMPARE(keyringHolds(), std::string("sk-in-keyring"));

    // Started again, the tray application reads the key from the keyring, and so does generate.
    app::AppDelegate delegate{paths, std::make_shared<SilentSystemLog>(), portsWithKeyring()};
    QVERIFY(generateOnTypedContext(delegate));
    QCOMPARE(lastKeySent(server), std::optional<std::string>("Bearer sk-in-keyring"));
    const auto [code, errors] = runGenerateCommand(paths);
    QVERIFY2(code == app::kExitSuccess, errors.c_str());
    QCOMPARE(server.requests().size(), std::size_t{3});
    QCOMPARE(lastKeySent(server), std::optional<std::string>("Bearer sk-in-keyring"));

    // Moved back by the user's choice: into config.json, out of the keyring.
    delegate.showSettings();
    auto* inKeyring = settingsWidget<QCheckBox>(delegate, "apiKeyInKeyring");
    QTRY_COMPARE(settingsWidget<QLineEdit>(delegate, "apiKey")->text(), QStringLiteral("sk-in-keyring"));
    inKeyring->click();
    settingsWidget<QPushButton>(delegate, "save")->click();
    QTRY_COMPARE(keyringHolds(), std::string());
    QVERIFY(readAll(paths.configURL()).find("\"apiKey\": \"sk-in-keyring\"") != std::string::npos);
  }

  void missingKeyringIsAClearMessageNotABlankKey() {
    const ScopedEnvironment bus("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/wrenfold-test-bus");
    TestHttpServer server;
    TempDir dir;
    const AppPaths paths{dir / "Wrenfold"};
    writeAll(
        paths.configURL(),
        json::Json{{"provider", "openAICompatible"}, {"baseURL", server.url()}, {"apiKeyStorage", "keyring"}}
            .dump());
    app::AppDelegate delegate{paths, std::make_shared<SilentSystemLog>(), portsWithKeyring()};
    QVERIFY(generateOnTypedContext(delegate));
    const QString message = QString::fromStdString(delegate.overlay().model().phase().message());
    QVERIFY2(message.startsWith(QStringLiteral("无法从系统密钥环读取 API Key：")), qPrintable(message));
    const auto [code, errors] = runGenerateCommand(paths);
    QCOMPARE(code, app::kExitGenerationFailed);
    QCOMPARE(QString::fromStdString(errors).trimmed(), message);
    QVERIFY(server.requests().empty());
  }

  // Last: the event loop ends here.
  void quitFromTheMenuTerminatesInOrder() {
    Launched app;
    app.delegate.settings().show();
    QSignalSpy aboutToQuit(qApp, &QCoreApplication::aboutToQuit);
    QTimer::singleShot(
        0, [&] { menuAction(app.delegate.menuBar()->menu(), QStringLiteral("退出"))->trigger(); });
    QCOMPARE(QApplication::exec(), 0);
    QCOMPARE(aboutToQuit.count(), 1);
    QVERIFY(!app.monitor->isRunning());
    QVERIFY(!app.delegate.settings().window()->isVisible());
  }
};

}  // namespace wrenfold::testing

QTEST_MAIN(wrenfold::testing::AppDelegateTest)
#include "app_delegate_test.moc"
