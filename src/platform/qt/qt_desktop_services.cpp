#include "platform/qt/qt_desktop_services.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>

namespace wrenfold {

Result<void> QtDesktopServices::openPath(const std::filesystem::path& path) {
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path.string())))) {
    return failPlatform("无法打开 " + path.string() + "：没有可用的应用。");
  }
  return {};
}

Result<void> QtDesktopServices::openUrl(const std::string& url) {
  const QUrl parsed(QString::fromStdString(url), QUrl::StrictMode);
  if (!parsed.isValid() || parsed.scheme().isEmpty()) {
    return failPlatform("无法打开地址：" + url);
  }
  if (!QDesktopServices::openUrl(parsed)) {
    return failPlatform("无法打开地址：" + url);
  }
  return {};
}

}  // namespace wrenfold
