#include "platform/qt/qt_user_defaults.h"

namespace wrenfold {
namespace {

QString qt(const std::string& text) {
  return QString::fromStdString(text);
}

}  // namespace

QtUserDefaults::QtUserDefaults() : settings_(std::make_unique<QSettings>("Wrenfold", "Wrenfold")) {}

QtUserDefaults::QtUserDefaults(const QString& iniFile)
    : settings_(std::make_unique<QSettings>(iniFile, QSettings::IniFormat)) {}

QtUserDefaults::~QtUserDefaults() = default;

std::optional<std::string> QtUserDefaults::string(const std::string& key) const {
  const QVariant value = settings_->value(qt(key));
  if (value.typeId() != QMetaType::QString) {
    return std::nullopt;
  }
  return value.toString().toStdString();
}

bool QtUserDefaults::contains(const std::string& key) const {
  return settings_->contains(qt(key));
}

Result<void> QtUserDefaults::setString(const std::string& key, const std::string& value) {
  return write(key, QVariant(qt(value)));
}

Result<void> QtUserDefaults::setBool(const std::string& key, bool value) {
  return write(key, QVariant(value));
}

Result<void> QtUserDefaults::remove(const std::string& key) {
  return write(key, QVariant());
}

Result<void> QtUserDefaults::write(const std::string& key, const QVariant& value) {
  const QString name = qt(key);
  const QVariant previous = settings_->value(name);
  const auto put = [&](const QVariant& v) {
    if (v.isValid()) {
      settings_->setValue(name, v);
    } else {
      settings_->remove(name);
    }
  };
  put(value);
  settings_->sync();
  if (settings_->status() == QSettings::NoError) {
    return {};
  }
  put(previous);
  return failPlatform("无法写入设置文件 " + settings_->fileName().toStdString());
}

}  // namespace wrenfold
