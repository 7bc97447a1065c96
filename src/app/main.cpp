#include <QApplication>
#include <iostream>
#include <string>
#include <vector>

#include "app/app_delegate.h"
#include "app/command_line.h"
#include "app/desktop_platform.h"
#include "app/generate_command.h"
#include "app/single_instance.h"
#include "core/support/app_paths.h"
#include "platform/linux/libsecret_secret_store.h"
#include "platform/qt/qt_main_queue.h"

namespace {

constexpr int kExitNoDesktop = 1;

// Asks the running instance to show itself; true when one answered.
bool handedToRunningInstance(const std::filesystem::path& socketPath) {
  using namespace wrenfold::app;
  if (SingleInstanceClient(socketPath).send(RemoteCommand::activate)) {
    std::cout << kAlreadyRunningMessage << "\n";
    return true;
  }
  return false;
}

// The tray application: runs until "退出" or a termination signal.
int runApplication(int& argc, char** argv) {
  using namespace wrenfold::app;
  const auto socketPath = singleInstanceSocketPath();
  // Checked before any window or bus connection: a second start costs nothing.
  if (socketPath && handedToRunningInstance(*socketPath)) {
    return kExitSuccess;
  }
  keepCycleMemory();
  static_cast<void>(desktopSession());  // decided once, before Qt or anything else reads $DISPLAY
  preferX11Platform();
  if (const auto missing = missingDisplay()) {
    std::cerr << "wrenfold: " << *missing << "\n";
    return kExitNoDesktop;
  }
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Wrenfold"));
  QApplication::setOrganizationName(QStringLiteral("Wrenfold"));
  QApplication::setDesktopFileName(QStringLiteral("wrenfold"));
  // No main window: closing the settings window must not end the application.
  QApplication::setQuitOnLastWindowClosed(false);
  quitOnTerminationSignals();

  AppDelegate delegate(wrenfold::AppPaths::fromEnvironment(), wrenfold::makeSyslog(), makeDesktopPorts());
  wrenfold::QtMainQueue serverQueue;
  SingleInstanceServer server(serverQueue, [&delegate](RemoteCommand command) {
    if (command == RemoteCommand::trigger) {
      delegate.trigger();
    } else {
      // A second start from the menu means "show me Wrenfold": its only window is the settings.
      delegate.showSettings();
    }
  });
  if (!socketPath) {
    std::cerr << "wrenfold: " << socketPath.error().localizedDescription() << "\n";
  } else if (const auto outcome = server.listen(*socketPath); !outcome) {
    std::cerr << "wrenfold: " << outcome.error().localizedDescription() << "\n";
  } else if (*outcome == ListenOutcome::anotherInstanceRuns) {
    // Started at the same moment as another: that one won.
    return handedToRunningInstance(*socketPath) ? kExitSuccess : kExitNoDesktop;
  }
  delegate.applicationDidFinishLaunching();
  // Under Wayland once the desktop's portals have answered, which the launch does not wait for.
  delegate.whenSessionKnown([](const std::vector<std::string>& offers) {
    for (const std::string& offer : offers) {
      std::cerr << "wrenfold: " << offer << "\n";
    }
  });
  for (const std::string& problem : delegate.sessionProblems()) {
    std::cerr << "wrenfold: " << problem << "\n";
  }
  return QApplication::exec();
}

int run(const wrenfold::app::Command& command, int& argc, char** argv) {
  using namespace wrenfold::app;
  if (std::holds_alternative<ShowHelp>(command)) {
    std::cout << usageText();
    return kExitSuccess;
  }
  if (std::holds_alternative<ShowVersion>(command)) {
    std::cout << "wrenfold " << WRENFOLD_VERSION << "\n";
    return kExitSuccess;
  }
  if (const auto* error = std::get_if<UsageError>(&command)) {
    std::cerr << "wrenfold: " << error->message << "\n\n" << usageText();
    return kExitUsage;
  }
  if (const auto* request = std::get_if<RemoteRequest>(&command)) {
    const auto socketPath = singleInstanceSocketPath();
    if (!socketPath) {
      std::cerr << "wrenfold: " << socketPath.error().localizedDescription() << "\n";
      return kExitGenerationFailed;
    }
    return runRemoteCommand(request->command, SingleInstanceClient(*socketPath), std::cerr);
  }
  if (const auto* arguments = std::get_if<GenerateArguments>(&command)) {
    wrenfold::LibsecretSecretStore secrets;
    GenerateEnvironment environment{wrenfold::AppPaths::fromEnvironment(),
                                    std::cin,
                                    std::cout,
                                    std::cerr,
                                    wrenfold::makeSyslog(),
                                    {},
                                    &secrets};
    return runGenerate(*arguments, environment);
  }
  return runApplication(argc, argv);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  return run(wrenfold::app::parseCommandLine(arguments), argc, argv);
}
