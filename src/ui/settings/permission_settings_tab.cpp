#include "ui/settings/permission_settings_tab.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QStringList>
#include <QToolButton>
#include <QVBoxLayout>

#include <optional>

#include "core/platform/input_method.h"
#include "core/settings/settings_permissions.h"
#include "ui/common/divider.h"
#include "ui/common/symbol.h"
#include "ui/settings/permission_row.h"
#include "ui/settings/settings_section_header.h"

namespace wrenfold {
namespace {

QString accessibilityExplanation(bool granted) {
  return granted ? QStringLiteral(
                       "已为当前桌面会话开启辅助功能。在此之前启动的应用需要重新启动，Wrenfold "
                       "才能读取其中的文字。")
                 : QStringLiteral(
                       "无法开启辅助功能：没有连接到 AT-SPI 辅助功能总线。请安装 at-spi2-core，"
                       "或在桌面设置的“辅助功能”中开启，然后点击刷新。");
}

QString screenRecordingExplanation(bool available) {
  return available ? QStringLiteral(
                         "在 X11 会话中，Wrenfold 可以直接截取当前窗口，无需另外授权；截图只在触发时"
                         "进行。")
                   : QStringLiteral(
                         "当前会话无法截取窗口（Wayland 会话或没有 X11 显示）。请在登录界面选择 X11 "
                         "会话（例如“GNOME on Xorg”）。在此之前，Wrenfold 仍会读取辅助功能文字和剪贴板。");
}

QString inputMethodExplanation(std::optional<InputMethodStatus> status) {
  switch (status.value_or(InputMethodStatus::absent)) {
    case InputMethodStatus::ready:
      return QStringLiteral(
          "Fcitx 5 已加载 Wrenfold 的输入法插件：候选会先通过输入法填入触发时的输入框，不经过剪贴板。");
    case InputMethodStatus::withoutAddon:
      return QStringLiteral(
          "Fcitx 5 正在运行，但没有加载 Wrenfold 的输入法插件。请安装 Wrenfold 的软件包（其中带有该插件），"
          "然后在终端执行 fcitx5 -r 重启 Fcitx 5，再点击刷新。");
    case InputMethodStatus::refusesUs:
      return QStringLiteral(
          "Fcitx 5 已加载 Wrenfold 的输入法插件，但它只接受已安装的 Wrenfold 调用；当前运行的 Wrenfold "
          "不是已安装的那个（例如从构建目录启动）。请改用已安装的 "
          "Wrenfold。在此之前，候选仍通过辅助功能或粘贴填入。");
    case InputMethodStatus::absent:
      break;
  }
  return QStringLiteral(
      "没有检测到正在运行的 Fcitx 5。用 Fcitx 5 输入时，Wrenfold 会先通过它填入候选、不经过剪贴板；"
      "不用时仍通过辅助功能或粘贴填入。");
}

QWidget* makeHeaderRow(SettingsPermissions& permissions, QWidget* parent) {
  auto* row = new QWidget(parent);
  auto* refresh = new QToolButton(row);
  refresh->setAutoRaise(true);
  refresh->setIcon(symbolIcon("arrow.clockwise"));
  refresh->setToolTip(QStringLiteral("刷新权限状态"));
  refresh->setAccessibleName(QStringLiteral("刷新权限状态"));
  QObject::connect(refresh, &QToolButton::clicked, row, [&permissions] { permissions.refresh(); });
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(
      new SettingsSectionHeader(
          QStringLiteral("系统权限"),
          QStringLiteral("Wrenfold 只在触发时读取当前窗口内容，并在填入候选时使用辅助功能权限。"), row),
      1, Qt::AlignTop);
  layout->addWidget(refresh, 0, Qt::AlignTop);
  return row;
}

}  // namespace

PermissionSettingsTab::PermissionSettingsTab(SettingsPermissions& permissions,
                                             const std::vector<std::string>& sessionOffers, QWidget* parent)
    : QWidget(parent), permissions_(permissions) {
  setObjectName(QStringLiteral("permissionsTab"));
  accessibility_ =
      new PermissionRow({"accessibility", QStringLiteral("辅助功能"),
                         QStringLiteral("读取当前输入框和可见文字，并将确认后的候选填入目标应用。"),
                         QStringLiteral("开启辅助功能"), [this] { permissions_.enableAccessibility(); }},
                        this);
  screenRecording_ =
      new PermissionRow({"rectangle.on.rectangle", QStringLiteral("屏幕录制"),
                         QStringLiteral("截取当前窗口、显示预览，并将截图发送给已配置的视觉模型作为上下文。"),
                         QStringLiteral("查看说明"), [this] { permissions_.explainScreenRecording(); }},
                        this);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 8, 4, 4);
  layout->setSpacing(18);
  layout->addWidget(makeHeaderRow(permissions_, this));
  layout->addWidget(accessibility_);
  layout->addWidget(new Divider(this));
  layout->addWidget(screenRecording_);
  if (permissions_.offersInputMethod()) {
    inputMethod_ =
        new PermissionRow({"keyboard", QStringLiteral("输入法"),
                           QStringLiteral("通过 Fcitx 5 把候选直接填入触发时的输入框，不经过剪贴板。"),
                           QStringLiteral("查看说明"), [this] { permissions_.explainInputMethod(); }},
                          this);
    layout->addWidget(new Divider(this));
    layout->addWidget(inputMethod_);
  }
  if (!sessionOffers.empty()) {
    QStringList lines;
    for (const auto& offer : sessionOffers) {
      lines << QString::fromStdString(offer);
    }
    layout->addWidget(new Divider(this));
    auto* session = new QLabel(lines.join(QStringLiteral("\n")), this);
    session->setObjectName(QStringLiteral("sessionOffers"));
    session->setWordWrap(true);
    session->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(session);
  }
  layout->addStretch(1);

  refresh();
  token_ = permissions_.addListener([this] { refresh(); });
}

PermissionSettingsTab::~PermissionSettingsTab() {
  permissions_.removeListener(token_);
}

void PermissionSettingsTab::refresh() {
  const bool accessibility = permissions_.hasAccessibilityPermission();
  const bool capture = permissions_.hasScreenRecordingPermission();
  accessibility_->setGranted(accessibility);
  screenRecording_->setGranted(capture);
  QString explanation;
  if (permissions_.showsAccessibilityExplanation()) {
    explanation = accessibilityExplanation(accessibility);
    if (!permissions_.restartNotice().empty()) {
      explanation += QStringLiteral("\n") + QString::fromStdString(permissions_.restartNotice());
    }
  }
  accessibility_->setExplanation(explanation);
  screenRecording_->setExplanation(
      permissions_.showsScreenRecordingExplanation() ? screenRecordingExplanation(capture) : QString());
  if (inputMethod_ != nullptr) {
    const auto status = permissions_.inputMethodStatus();
    inputMethod_->setGranted(status == InputMethodStatus::ready);
    inputMethod_->setExplanation(permissions_.showsInputMethodExplanation() ? inputMethodExplanation(status)
                                                                            : QString());
  }
}

}  // namespace wrenfold
