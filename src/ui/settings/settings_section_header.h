#pragma once

#include <QLabel>
#include <QWidget>

namespace wrenfold {

// A heading for a group of settings: the title as a headline, the description below it in the
// smaller secondary style.
class SettingsSectionHeader : public QWidget {
 public:
  SettingsSectionHeader(const QString& title, const QString& description, QWidget* parent = nullptr);

  [[nodiscard]] QString title() const { return title_->text(); }
  [[nodiscard]] QString description() const { return description_->text(); }

 private:
  QLabel* title_;
  QLabel* description_;
};

}  // namespace wrenfold
