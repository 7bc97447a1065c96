#pragma once

// One permission line: its symbol (green when granted, orange otherwise), the title with
// "已授权" or "需要授权", the description, an explanation once the action was used, and the
// small action button at the end.

#include <QWidget>
#include <functional>
#include <string>

class QLabel;
class QPushButton;

namespace wrenfold {

class StatusLabel;
class SettingsSymbolView;

class PermissionRow : public QWidget {
 public:
  struct Content {
    std::string icon;
    QString title;
    QString description;
    QString actionTitle;
    std::function<void()> action;
  };

  explicit PermissionRow(Content content, QWidget* parent = nullptr);

  void setGranted(bool granted);
  [[nodiscard]] bool isGranted() const { return isGranted_; }
  // An explanation under the description; an empty text hides it.
  void setExplanation(const QString& text);

  [[nodiscard]] QString grantLabel() const;
  [[nodiscard]] QString explanation() const;
  [[nodiscard]] QPushButton* actionButton() const { return action_; }

 private:
  SettingsSymbolView* icon_;
  StatusLabel* grant_;
  QLabel* explanation_;
  QPushButton* action_;
  bool isGranted_ = false;
};

}  // namespace wrenfold
