#include "ui/settings/privacy_settings_tab.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "core/settings/settings_view_model.h"
#include "ui/common/style.h"
#include "ui/settings/save_status_view.h"
#include "ui/settings/settings_section_header.h"

namespace wrenfold {
namespace {

// A button whose title is red, as destructive actions are on desktops that mark them.
class DestructiveButton final : public QPushButton {
 public:
  DestructiveButton(const QString& title, QWidget* parent) : QPushButton(title, parent) { applyColour(); }

 protected:
  void changeEvent(QEvent* event) override {
    QPushButton::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ParentChange) {
      applyColour();
    }
  }

 private:
  void applyColour() {
    const QPalette surroundings =
        parentWidget() != nullptr ? parentWidget()->palette() : QApplication::palette();
    QPalette own = palette();
    own.setColor(QPalette::ButtonText,
                 style::isDark(surroundings) ? QColor(255, 105, 97) : QColor(200, 40, 40));
    setPalette(own);
  }
};

}  // namespace

PrivacySettingsTab::PrivacySettingsTab(SettingsViewModel& model, QWidget* parent)
    : QWidget(parent), model_(model) {
  auto* openData = new QPushButton(QStringLiteral("打开数据目录"), this);
  connect(openData, &QPushButton::clicked, this, [this] { model_.openDataDirectory(); });
  auto* clear = new DestructiveButton(QStringLiteral("清除语气样本"), this);
  connect(clear, &QPushButton::clicked, this, [this] { model_.clearStyleSamples(); });
  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(10);
  buttons->addWidget(openData);
  buttons->addWidget(clear);
  buttons->addStretch(1);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 8, 4, 4);
  layout->setSpacing(18);
  layout->addWidget(new SettingsSectionHeader(
      QStringLiteral("本地数据"),
      QStringLiteral("模型配置、模板和语气偏好只保存在本机的数据目录。日志不会记录 API Key、完整 Prompt、"
                     "窗口截图或候选全文。"),
      this));
  layout->addWidget(makePreferenceField());
  layout->addLayout(buttons);
  if (model_.offersLaunchAtLogin()) {
    layout->addWidget(makeStartupSection());
  }
  layout->addStretch(1);

  refresh();
  token_ = model_.addListener([this] { refresh(); });
}

void PrivacySettingsTab::showNotices(QWidget* notices) {
  notices->setParent(this);
  static_cast<QVBoxLayout*>(layout())->insertWidget(1, notices);
}

PrivacySettingsTab::~PrivacySettingsTab() {
  model_.removeListener(token_);
}

QPlainTextEdit* PrivacySettingsTab::makePreferenceField() {
  preference_ = new QPlainTextEdit(this);
  preference_->setObjectName(QStringLiteral("preference"));
  preference_->setPlaceholderText(QStringLiteral("我的语气偏好"));
  preference_->setAccessibleName(QStringLiteral("我的语气偏好"));
  preference_->setTabChangesFocus(true);
  preference_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  connect(preference_, &QPlainTextEdit::textChanged, this,
          [this] { model_.updatePreference(preference_->toPlainText().toStdString()); });
  connect(preference_->document()->documentLayout(), &QAbstractTextDocumentLayout::documentSizeChanged, this,
          [this] { fitPreferenceHeight(); });
  fitPreferenceHeight();
  return preference_;
}

QWidget* PrivacySettingsTab::makeStartupSection() {
  auto* section = new QWidget(this);
  launchAtLogin_ = new QCheckBox(QStringLiteral("登录桌面时自动启动 Wrenfold"), section);
  launchAtLogin_->setObjectName(QStringLiteral("launchAtLogin"));
  // `clicked` is the user's own change only; refresh() sets the state without a signal.
  connect(launchAtLogin_, &QCheckBox::clicked, this,
          [this](bool checked) { model_.setLaunchAtLogin(checked); });
  status_ = new SaveStatusView(SaveStatusView::Shows::failedOnly, section);

  auto* layout = new QVBoxLayout(section);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(8);
  layout->addWidget(new SettingsSectionHeader(
      QStringLiteral("启动"), QStringLiteral("Wrenfold 常驻系统托盘，开启后随桌面会话启动。"), section));
  layout->addWidget(launchAtLogin_);
  layout->addWidget(status_);
  return section;
}

void PrivacySettingsTab::refresh() {
  if (launchAtLogin_ != nullptr) {
    // Read back every time: a failed change leaves the box showing what the session does.
    launchAtLogin_->setChecked(model_.launchesAtLogin());
    status_->setStatus(model_.launchAtLoginStatus());
  }
  // Only a change made elsewhere (clearing the samples) is copied in; the user's own typing
  // already matches and keeps its cursor.
  const QString stored = QString::fromStdString(model_.userWrittenPreference());
  if (preference_->toPlainText() != stored) {
    const QSignalBlocker blocker(preference_);
    preference_->setPlainText(stored);
  }
}

void PrivacySettingsTab::fitPreferenceHeight() {
  const QFontMetrics metrics(preference_->font());
  // A plain-text layout measures its height in lines, wrapped lines included.
  const auto documentLines =
      static_cast<int>(std::ceil(preference_->document()->documentLayout()->documentSize().height()));
  const int lines = std::clamp(documentLines, kMinLines, kMaxLines);
  const int frame = 2 * preference_->frameWidth();
  const int margins = static_cast<int>(2 * preference_->document()->documentMargin());
  preference_->setFixedHeight(lines * metrics.lineSpacing() + margins + frame);
}

}  // namespace wrenfold
