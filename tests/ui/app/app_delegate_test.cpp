// The application delegate over in-memory ports on the offscreen platform (which has no tray),
// and the desktop composition's checks for what a session lacks.
#include <gio/gio.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QElapsedTimer>
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
#include "ui/settings/status_label.h"

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
  ports.keyringQueue = std::make_unique<ThreadWorkQueue>();
  return ports;
}

// Takes the desktop's unlock-prompt service on the test bus and never answers it: an unlock
// prompt stays open, as when the user walks away from it. Null when the name was not taken.
GDBusConnection* holdUnlockPromptsOpen() {
  g_autofree gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  GDBusConnection* bus = g_dbus_connection_new_for_address_sync(
      address,
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, nullptr);
  const auto swallowCalls = [](GDBusConnection*, GDBusMessage* message, gboolean incoming, gpointer) {
    const bool call = incoming && g_dbus_message_get_message_type(message) == G_DBUS_MESSAGE_TYPE_METHOD_CALL;
    return call ? (g_object_unref(message), nullptr) : message;
  };
  g_dbus_connection_add_filter(bus, swallowCalls, nullptr, nullptr);
  g_autoptr(GVariant) owned = g_dbus_connection_call_sync(
      bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
      g_variant_new("(su)", "org.gnome.keyring.SystemPrompter", 4u), nullptr, G_DBUS_CALL_FLAGS_NONE, -1,
      nullptr, nullptr);
  return owned != nullptr ? bus : nullptr;
}

// Locks the login keyring, or unlocks it with the password scripts/keyring-session exports.
bool setLoginKeyringLocked(bool locked) {
  g_autoptr(GDBusConnection) bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  const auto call = [&bus](const char* interface, const char* method, GVariant* arguments) {
    return g_dbus_connection_call_sync(bus, "org.freedesktop.secrets", "/org/freedesktop/secrets", interface,
                                       method, arguments, nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr,
                                       nullptr);
  };
  if (locked) {
    g_autoptr(GVariant) done =
        call("org.freedesktop.Secret.Service", "Lock",
             g_variant_new_parsed("([objectpath '/org/freedesktop/secrets/collection/login'],)"));
    return done != nullptr;
  }
  g_autoptr(GVariant) opened =
      call("org.freedesktop.Secret.Service", "OpenSession", g_variant_new_parsed("('plain', <''>)"));
  g_autoptr(GVariant) output = nullptr;
  const gchar* session = nullptr;
  g_variant_get(opened, "(v&o)", &output, &session);
  const std::string password = qEnvironmentVariable("KEYRING_SESSION_PASSWORD").toStdString();
  g_autoptr(GVariant) done =
      call("org.gnome.keyring.InternalUnsupportedGuiltRiddenInterface", "UnlockWithMasterPassword",
           g_variant_new_parsed(
               "(objectpath '/org/freedesktop/secrets/collection/login', (%o, @ay [], %@ay, 'text/plain'))",
               session, g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, password.data(), password.size(), 1)));
  return done != nullptr;
}

// The witness: what the keyring holds for the OpenAI-compatible key, asked by a program of its own.
std::string keyringHolds() {
  QProcess lookup;
  lookup.start(QStringLiteral("secret-tool"),
               {"lookup", "service", "openAICompatible", "reference", "model.openAICompatible.api-key"});
  lookup.waitForFinished();
  return lookup.readAllStandardOutput().toStdString();
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

    // Saved without a key of its own: the OpenAI key stays home; this local host is asked without.
    QCOMPARE(key->text(), QString());
    settingsWidget<QPushButton>(delegate, "save")->click();
    QVERIFY(generateOnTypedContext(delegate));
    QCOMPARE(anthropic.requests().size(), std::size_t{1});
    QCOMPARE(anthropic.requests()[0].header("x-api-key"), std::nullopt);
    QVERIFY(readAll(paths.configURL()).find("sk-openai") == std::string::npos);

    QTest::keyClicks(key, "sk-anthropic");
    settingsWidget<QPushButton>(delegate, "save")->click();
    QVERIFY(generateOnTypedContext(delegate));
    QCOMPARE(anthropic.requests().size(), std::size_t{2});
    QCOMPARE(anthropic.requests()[1].header("x-api-key"), std::optional<std::string>("sk-anthropic"));
    QCOMPARE(openAI.requests().size(), std::size_t{1});
  }

  // "列出模型" and "测试连接" on an address typed but never saved: the saved key stays with its
  // address, a key typed for the new one goes; a server on this machine is asked without one.
  void listAndTestSendTheSavedKeyOnlyToTheSavedAddress() {
    TestHttpServer saved;
    TestHttpServer typed;
    const std::string models = R"({"data":[{"id":"qwen2.5-7b-instruct"}]})";
    saved.setHandler([models](const RecordedRequest&) { return CannedResponse::json(200, models); });
    // A wrong port that lists models but answers a chat with a web page.
    typed.setHandler([models](const RecordedRequest& request) {
      CannedResponse page = CannedResponse::json(200, "<!DOCTYPE html><h1>欢迎使用！</h1>");
      page.headers = {{"Content-Type", "text/html"}};
      return request.method == "GET" ? CannedResponse::json(200, models) : page;
    });
    TempDir dir;
    const AppPaths paths{dir / "Wrenfold"};
    writeAll(paths.configURL(),
             json::Json{{"provider", "openAICompatible"}, {"baseURL", saved.url()}, {"apiKey", "sk-saved"}}
                 .dump());
    app::AppDelegate delegate{paths, std::make_shared<SilentSystemLog>(),
                              fakePorts(std::make_shared<FakeModifierMonitor>())};
    delegate.applicationDidFinishLaunching();
    delegate.showSettings();
    const auto press = [&](const char* name, const TestHttpServer& server, std::size_t requests) {
      auto* button = settingsWidget<QPushButton>(delegate, name);
      button->click();
      return QTest::qWaitFor([&] { return server.requests().size() == requests && button->isEnabled(); },
                             20000);
    };
    QVERIFY(press("listModels", saved, 1));
    QCOMPARE(saved.requests()[0].header("Authorization"), std::optional<std::string>("Bearer sk-saved"));
    const QAbstractItemModel* offered = settingsWidget<QLineEdit>(delegate, "model")->completer()->model();
    QCOMPARE(offered->rowCount(), 1);

    auto* baseURL = settingsWidget<QLineEdit>(delegate, "baseURL");
    baseURL->clear();
    QTest::keyClicks(baseURL, QString::fromStdString(typed.url("/v1")));
    QCOMPARE(offered->rowCount(), 0);  // the old address's list no longer applies
    QVERIFY(press("listModels", typed, 1));
    QVERIFY(press("testConnection", typed, 2));
    auto* status = dynamic_cast<StatusLabel*>(settingsWidget<QWidget>(delegate, "serviceStatus"));
    QCOMPARE(status->text(), QStringLiteral("地址返回的不是模型服务的响应（HTML 页面）"));
    auto* key = settingsWidget<QLineEdit>(delegate, "apiKey");
    key->clear();
    QTest::keyClicks(key, "sk-typed");
    QVERIFY(press("testConnection", typed, 3));
    const auto sent = typed.requests();
    QVERIFY(!sent[0].header("Authorization") && !sent[1].header("Authorization"));
    QCOMPARE(sent[2].header("Authorization"), std::optional<std::string>("Bearer sk-typed"));
  }

  void keyKeptInTheKeyringIsReadByTheTrayAppAndByGenerate() {
    if (!qEnvironmentVariableIsSet("KEYRING_SESSION")) {
      QSKIP("needs a Secret Service of its own: runs under scripts/keyring-session");
    }
    const QString secretTool = QStandardPaths::findExecutable(QStringLiteral("secret-tool"));
    if (secretTool.isEmpty()) {
      QSKIP("secret-tool is not installed (Debian package libsecret-tools)");
    }
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

  // An unlock prompt nobody answers: a cycle fails with a clear message instead of hanging,
  // window capture goes on, saving other settings keeps the stored key, moving the key waits
  // until it was read, and quitting does not wait on the prompt.
  void keyringThatNeverAnswersHoldsNothingUpAndKeepsTheKey() {
    if (!qEnvironmentVariableIsSet("KEYRING_SESSION")) {
      QSKIP("needs a Secret Service of its own: runs under scripts/keyring-session");
    }
    QVERIFY(LibsecretSecretStore().write({"openAICompatible", "model.openAICompatible.api-key"}, "Wrenfold",
                                         "sk-kept-in-keyring"));
    TestHttpServer server;
    TempDir dir;
    const AppPaths paths{dir / "Wrenfold"};
    writeAll(
        paths.configURL(),
        json::Json{{"provider", "openAICompatible"}, {"baseURL", server.url()}, {"apiKeyStorage", "keyring"}}
            .dump());
    g_autoptr(GDBusConnection) prompter = holdUnlockPromptsOpen();
    QVERIFY(prompter != nullptr && setLoginKeyringLocked(true));
    app::DesktopPorts ports = portsWithKeyring();
    WorkQueue& captureQueue = *ports.workQueue;
    auto delegate =
        std::make_unique<app::AppDelegate>(paths, std::make_shared<SilentSystemLog>(), std::move(ports));
    QVERIFY(generateOnTypedContext(*delegate));
    QCOMPARE(delegate->overlay().model().phase().message(), std::string(kKeyringNotAnswering));
    bool captured = false;
    captureQueue.run([&captured] { captured = true; });
    QTRY_VERIFY(captured);

    delegate->showSettings();
    SettingsViewModel& model = delegate->settings().window()->model();
    auto* key = settingsWidget<QLineEdit>(*delegate, "apiKey");
    QVERIFY(key->text().isEmpty() && key->placeholderText().startsWith(QStringLiteral("未读取")));
    model.setTemperature(0.9);
    settingsWidget<QPushButton>(*delegate, "save")->click();
    QTRY_COMPARE(model.status().kind, SaveStatus::Kind::saved);
    QVERIFY(readAll(paths.configURL()).find("\"temperature\": 0.9") != std::string::npos);

    settingsWidget<QCheckBox>(*delegate, "apiKeyInKeyring")->click();
    settingsWidget<QPushButton>(*delegate, "save")->click();
    QTRY_VERIFY_WITH_TIMEOUT(
        QString::fromStdString(model.status().message).contains(QStringLiteral("没有移动")), 20000);
    QVERIFY(readAll(paths.configURL()).find("\"apiKeyStorage\": \"keyring\"") != std::string::npos);
    QVERIFY(server.requests().empty());

    QElapsedTimer quitting;
    quitting.start();
    delegate.reset();
    QVERIFY2(quitting.elapsed() < 5000, "quitting waited on the unlock prompt");
    QVERIFY(setLoginKeyringLocked(false));
    QCOMPARE(keyringHolds(), std::string("sk-kept-in-keyring"));
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
