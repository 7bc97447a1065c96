#include "platform/qt/qt_desktop_notifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

namespace wrenfold {
namespace {

constexpr char kService[] = "org.freedesktop.Notifications";
constexpr char kPath[] = "/org/freedesktop/Notifications";
constexpr int kCallTimeoutMs = 3000;
constexpr int kServerDecidesExpiry = -1;

}  // namespace

QtDesktopNotifier::QtDesktopNotifier(Fallback fallback)
    : fallback_(std::make_shared<Fallback>(std::move(fallback))) {}

QtDesktopNotifier::~QtDesktopNotifier() {
  *fallback_ = nullptr;
}

void QtDesktopNotifier::notify(std::string title, std::string body) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    if (*fallback_) {
      (*fallback_)(title, body);
    }
    return;
  }
  QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, "Notify");
  call << QStringLiteral("Wrenfold") << 0U << QStringLiteral("wrenfold") << QString::fromStdString(title)
       << QString::fromStdString(body)
       << QStringList()
       // Lets the server show the application's name and icon and group its notices.
       << QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral("wrenfold")}} << kServerDecidesExpiry;
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kCallTimeoutMs));
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished,
                   [fallback = fallback_, title = std::move(title),
                    body = std::move(body)](QDBusPendingCallWatcher* finished) {
                     if (finished->isError() && *fallback) {
                       (*fallback)(title, body);
                     }
                     finished->deleteLater();
                   });
}

}  // namespace wrenfold
