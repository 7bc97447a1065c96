// The application delegate over in-memory ports on the offscreen platform (which has no tray),
// and the desktop composition's checks for what a session lacks.
#include <QAction>
#include <QApplication>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <thread>

#include "app/app_delegate.h"
#include "core/ai/curl_http_client.h"
#include "core/platform/thread_work_queue.h"
#include "fakes/fake_accessibility.h"
#include "fakes/fake_global_hot_keys.h"
#include "fakes/fake_image_codec.h"
#include "fakes/fake_key_events.h"
#include "fakes/fake_modifier_monitor.h"
#include "fakes/fake_pasteboard.h"
#include "fakes/fake_user_defaults.h"
#include "fakes/fake_window_capture.h"
#include "fakes/fake_workspace.h"
#include "platform/qt/qt_main_queue.h"
#include "settings/recording_desktop_services.h"
#include "support/temp_dir.h"
#include "ui/settings/settings_view.h"

namespace wrenfold::testing {
namespace {

// Alt+Space, stored as the custom shortcut and held by another program, when `shortcutHeld`.
app::DesktopPorts fakePorts(std::shared_ptr<FakeModifierMonitor> monitor, bool shortcutHeld) {
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

// Sets an environment variable (or removes it, for null) for one scope.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) {
      old_ = old;
    }
    value != nullptr ? ::setenv(name, value, 1) : ::unsetenv(name);
  }
  ~ScopedEnvironment() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

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

QStringList menuEntries(QMenu& menu) {
  QStringList entries;
  for (const QAction* action : menu.actions()) {
    entries << (action->isSeparator() ? QStringLiteral("-")
                                      : action->text() + QLatin1Char('|') + action->shortcut().toString());
  }
  return entries;
}

QAction* menuAction(QMenu& menu, const QString& text) {
  for (QAction* action : menu.actions()) {
    if (action->text() == text) {
      return action;
    }
  }
  qFatal("no menu entry %s", qPrintable(text));
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

  void trayMenuListsItsEntriesInOrder() {
    Launched app;
    QMenu& menu = app.delegate.menuBar()->menu();
    QCOMPARE(menuEntries(menu), (QStringList{"生成候选|", "-", "设置|Ctrl+,", "-", "退出|Ctrl+Q"}));
    menuAction(menu, QStringLiteral("设置"))->trigger();
    SettingsView* window = app.delegate.settings().window();
    QVERIFY(window != nullptr && window->isVisible());
    QCOMPARE(window->tabs().tabText(1), QStringLiteral("快捷键"));
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
