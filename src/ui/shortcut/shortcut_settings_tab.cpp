#include "ui/shortcut/shortcut_settings_tab.h"

#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include "ui/common/style.h"
#include "ui/common/tone_label.h"
#include "ui/shortcut/shortcut_recorder.h"

namespace wrenfold {
namespace {

QFrame* makeGroup() {
  auto* group = new QFrame;
  group->setFrameShape(QFrame::StyledPanel);
  return group;
}

QLabel* makeHeadline(const QString& text) {
  auto* label = new QLabel(text);
  QFont font = label->font();
  font.setBold(true);
  label->setFont(font);
  return label;
}

QLabel* makeDescription(const QString& text) {
  auto* label = new QLabel(text);
  label->setWordWrap(true);
  label->setForegroundRole(QPalette::PlaceholderText);
  QFont font = label->font();
  font.setPointSizeF(font.pointSizeF() * 0.9);
  label->setFont(font);
  return label;
}

QIcon restoreIcon(const QStyle& style) {
  // arrow.counterclockwise
  return QIcon::fromTheme("edit-undo-symbolic",
                          QIcon::fromTheme("edit-undo", style.standardIcon(QStyle::SP_ArrowBack)));
}

}  // namespace

ShortcutSettingsTab::ShortcutSettingsTab(ShortcutRegistry& registry, HotkeyController& hotkeyController,
                                         DesktopTriggerShortcut* desktopShortcut, QWidget* parent)
    : QWidget(parent),
      registry_(registry),
      hotkeyController_(hotkeyController),
      customShortcut_(registry.getShortcut(kShowAssistant)),
      gnomeShortcut_(desktopShortcut) {
  auto* layout = new QVBoxLayout(this);
  layout->setSpacing(16);
  layout->addWidget(makeShortcutGroup());
  layout->addWidget(makeDefaultTriggerGroup());
  layout->addStretch(1);
  refreshDefaultTrigger();
}

QWidget* ShortcutSettingsTab::makeShortcutGroup() {
  auto* group = makeGroup();
  auto* layout = new QVBoxLayout(group);
  layout->addWidget(makeHeadline("全局快捷键"));
  const bool desktopOwned = registry_.desktopBinding().has_value();
  layout->addWidget(makeDescription(
      gnomeShortcut_ != nullptr
          ? "GNOME 的 Wayland 会话不允许应用程序自己注册全局快捷键：录制快捷键后，点“在 GNOME 中设置快捷键”，"
            "Wrenfold 会在 GNOME 的自定义快捷键中添加一项运行 wrenfold trigger "
            "的快捷键（不改动你的其他快捷键）。"
      : desktopOwned
          ? "Wayland 会话中全局快捷键由桌面管理：Wrenfold 通过全局快捷键门户登记“唤起 Wrenfold”，"
            "这里录制的快捷键只作为建议交给桌面（桌面已为它分配按键后不再采用）。要修改按键，请在桌"
            "面的系统设置中找到 Wrenfold 的"
            "“唤起 Wrenfold”（KDE Plasma：系统设置 → 快捷键 → wrenfold）。"
          : "在任意应用中唤起 Wrenfold。修改后立即生效。"));
  recorder_ = new ShortcutRecorder(registry_, kShowAssistant,
                                   [this](const std::optional<Shortcut>& s) { customShortcutChanged(s); });
  auto* form = new QFormLayout;
  form->addRow(desktopOwned ? "建议的快捷键" : "唤起 Wrenfold", recorder_);
  if (desktopOwned) {
    desktopBinding_ = new QLabel;
    desktopBinding_->setObjectName("desktopBindingLabel");
    desktopBinding_->setWordWrap(true);
    form->addRow("桌面的绑定", desktopBinding_);
    // The desktop answers a new suggestion later, and the user may change the keys there.
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this] { refreshDesktopBinding(); });
    timer->start(1000);
  }
  if (gnomeShortcut_ != nullptr) {
    addGnomeShortcutRows(*form);
  }
  layout->addLayout(form);
  inactive_ = new ToneLabel(QString(), style::warning, group);
  inactive_->setObjectName("shortcutInactiveLabel");
  inactive_->setWordWrap(true);
  layout->addWidget(inactive_);
  return group;
}

QWidget* ShortcutSettingsTab::makeDefaultTriggerGroup() {
  auto* group = makeGroup();
  auto* layout = new QVBoxLayout(group);
  // Alt is the Option key of this desktop.
  defaultTrigger_ = new QLabel("双击 Alt");
  defaultTrigger_->setObjectName("defaultTriggerLabel");
  auto* form = new QFormLayout;
  form->addRow("默认触发方式", defaultTrigger_);
  layout->addLayout(form);
  doubleTapUnavailable_ = makeDescription(
      registry_.desktopBinding()
          ? "Wayland 不允许应用程序监听全局按键，因此双击 Alt 不可用；请使用桌面绑定的快捷键。"
          : "当前会话无法监听全局按键（Wayland 会话，或 X11 的 XInput 2 不可用），因此双击 Alt "
            "不可用。");
  doubleTapUnavailable_->setObjectName("doubleTapUnavailableLabel");
  layout->addWidget(doubleTapUnavailable_);
  restoreDefault_ = new QPushButton(restoreIcon(*style()), "恢复默认");
  restoreDefault_->setObjectName("restoreDefaultButton");
  connect(restoreDefault_, &QPushButton::clicked, this, [this] { restoreDefault(); });
  layout->addWidget(restoreDefault_, 0, Qt::AlignLeft);
  return group;
}

void ShortcutSettingsTab::customShortcutChanged(const std::optional<Shortcut>& shortcut) {
  customShortcut_ = shortcut;
  hotkeyController_.customShortcutChanged();
  refreshDefaultTrigger();
}

void ShortcutSettingsTab::restoreDefault() {
  if (const auto cleared = registry_.setShortcut(std::nullopt, kShowAssistant); !cleared) {
    showShortcutAlert(window(), "无法清除快捷键。",
                      QString::fromStdString(cleared.error().localizedDescription()));
    return;
  }
  hotkeyController_.startDefaultShortcutMonitoring();
  customShortcut_.reset();
  refreshDefaultTrigger();
}

void ShortcutSettingsTab::refreshDefaultTrigger() {
  // Primary while the double tap is the trigger in effect, secondary while a shortcut replaces it.
  const auto reason = registry_.inactiveReason(kShowAssistant);
  const bool replaced = customShortcut_ && !reason;
  defaultTrigger_->setForegroundRole(replaced ? QPalette::PlaceholderText : QPalette::WindowText);
  restoreDefault_->setEnabled(customShortcut_.has_value());
  const bool doubleTapOn = hotkeyController_.isDefaultShortcutMonitoringOn();
  inactive_->setText(reason ? QString("这个快捷键没有生效：%1。%2")
                                  .arg(QString::fromStdString(*reason),
                                       doubleTapOn ? QString("双击 Alt 仍可唤起 Wrenfold。") : QString())
                            : QString());
  // Under GNOME the shortcut works through GNOME's own binding, which the tab shows instead.
  inactive_->setVisible(reason.has_value() && gnomeShortcut_ == nullptr);
  // Off although nothing replaces it: the session cannot watch the keyboard.
  doubleTapUnavailable_->setVisible(registry_.desktopBinding() || (!doubleTapOn && !replaced));
  refreshDesktopBinding();
  refreshGnomeShortcut();
}

void ShortcutSettingsTab::addGnomeShortcutRows(QFormLayout& form) {
  gnomeBinding_ = new QLabel;
  gnomeBinding_->setObjectName("gnomeBindingLabel");
  gnomeBinding_->setWordWrap(true);
  form.addRow("GNOME 中的快捷键", gnomeBinding_);
  setGnomeShortcut_ = new QPushButton("在 GNOME 中设置快捷键");
  setGnomeShortcut_->setObjectName("setGnomeShortcutButton");
  connect(setGnomeShortcut_, &QPushButton::clicked, this, [this] { setGnomeShortcut(); });
  removeGnomeShortcut_ = new QPushButton("从 GNOME 中移除");
  removeGnomeShortcut_->setObjectName("removeGnomeShortcutButton");
  connect(removeGnomeShortcut_, &QPushButton::clicked, this, [this] { removeGnomeShortcut(); });
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(setGnomeShortcut_);
  buttons->addWidget(removeGnomeShortcut_);
  buttons->addStretch(1);
  form.addRow(QString(), buttons);
}

void ShortcutSettingsTab::setGnomeShortcut() {
  if (!customShortcut_) {
    return;
  }
  if (const auto bound = gnomeShortcut_->bind(*customShortcut_); !bound) {
    showShortcutAlert(window(), "无法在 GNOME 中设置快捷键。",
                      QString::fromStdString(bound.error().localizedDescription()));
  }
  refreshGnomeShortcut();
}

void ShortcutSettingsTab::removeGnomeShortcut() {
  if (const auto removed = gnomeShortcut_->remove(); !removed) {
    showShortcutAlert(window(), "无法从 GNOME 中移除快捷键。",
                      QString::fromStdString(removed.error().localizedDescription()));
  }
  refreshGnomeShortcut();
}

void ShortcutSettingsTab::refreshGnomeShortcut() {
  if (gnomeShortcut_ == nullptr) {
    return;
  }
  const auto held = gnomeShortcut_->held();
  gnomeBinding_->setText(
      !held ? QString::fromStdString("无法读取 GNOME 的设置：" + held.error().localizedDescription())
      : *held ? QString::fromStdString(**held + "（运行 wrenfold trigger）")
              : QString(customShortcut_ ? "尚未设置" : "尚未设置：请先录制快捷键"));
  setGnomeShortcut_->setEnabled(customShortcut_.has_value());
  removeGnomeShortcut_->setEnabled(held && held->has_value());
}

void ShortcutSettingsTab::refreshDesktopBinding() {
  const auto binding = registry_.desktopBinding();
  if (desktopBinding_ == nullptr || !binding) {
    return;
  }
  desktopBinding_->setText(
      !binding->problem.empty() ? QString::fromStdString("没有登记成功：" + binding->problem)
      : binding->trigger.empty() ? QString("尚未分配按键（或桌面尚未答复），请在桌面的快捷键设置中为它分配")
                                 : QString::fromStdString(binding->trigger));
}

}  // namespace wrenfold
