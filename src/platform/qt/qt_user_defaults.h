#pragma once

// The user defaults on QSettings: organisation "Wrenfold", application "Wrenfold", which on
// Linux is the INI file ~/.config/Wrenfold/Wrenfold.conf. The INI format keeps no types, so a
// boolean written here reads back as the text "false" or "true"; callers that test for a string
// see a string that simply does not decode. Main thread only.

#include <QSettings>
#include <QString>
#include <QVariant>
#include <memory>

#include "core/platform/user_defaults.h"

namespace wrenfold {

class QtUserDefaults final : public UserDefaults {
 public:
  QtUserDefaults();
  // A settings file of its own, for tests.
  explicit QtUserDefaults(const QString& iniFile);
  ~QtUserDefaults() override;

  [[nodiscard]] std::optional<std::string> string(const std::string& key) const override;
  [[nodiscard]] bool contains(const std::string& key) const override;
  [[nodiscard]] Result<void> setString(const std::string& key, const std::string& value) override;
  [[nodiscard]] Result<void> setBool(const std::string& key, bool value) override;
  [[nodiscard]] Result<void> remove(const std::string& key) override;

 private:
  // Writes (or with an invalid value removes) and syncs; on failure puts the old value back.
  [[nodiscard]] Result<void> write(const std::string& key, const QVariant& value);

  std::unique_ptr<QSettings> settings_;
};

}  // namespace wrenfold
