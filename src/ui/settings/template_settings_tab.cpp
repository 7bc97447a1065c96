#include "ui/settings/template_settings_tab.h"

#include <QFile>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/settings/settings_view_model.h"
#include "ui/common/style.h"
#include "ui/common/tone_label.h"
#include "ui/settings/save_status_view.h"
#include "ui/settings/settings_section_header.h"

namespace wrenfold {
namespace {

QLabel* makePathLabel(const std::filesystem::path& path, QWidget* parent) {
  auto* label =
      new ToneLabel(QFile::decodeName(QByteArray::fromStdString(path.string())), &style::secondary, parent);
  QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  mono.setPointSizeF(style::caption(parent->font()).pointSizeF());
  label->setFont(mono);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  label->setCursor(Qt::IBeamCursor);
  return label;
}

}  // namespace

TemplateSettingsTab::TemplateSettingsTab(SettingsViewModel& model, QWidget* parent)
    : QWidget(parent), model_(model) {
  auto* openDirectory = new QPushButton(QStringLiteral("打开模板目录"), this);
  connect(openDirectory, &QPushButton::clicked, this, [this] { model_.openTemplateDirectory(); });
  auto* createFile = new QPushButton(QStringLiteral("创建用户模板文件"), this);
  connect(createFile, &QPushButton::clicked, this, [this] { model_.createUserTemplateFileIfNeeded(); });
  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(10);
  buttons->addWidget(openDirectory);
  buttons->addWidget(createFile);
  buttons->addStretch(1);

  status_ = new SaveStatusView(SaveStatusView::Shows::failedOnly, this);
  status_->setObjectName(QStringLiteral("templateStatus"));

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 8, 4, 4);
  layout->setSpacing(18);
  layout->addWidget(new SettingsSectionHeader(
      QStringLiteral("Prompt 模板"),
      QStringLiteral("内置模板会随应用更新。用户模板可覆盖同 ID 的内置项，或追加新的处理方式。"), this));
  layout->addWidget(makePathLabel(model_.paths().userTemplatesURL(), this));
  layout->addLayout(buttons);
  layout->addWidget(status_);
  layout->addStretch(1);

  status_->setStatus(model_.status());
  token_ = model_.addListener([this] { status_->setStatus(model_.status()); });
}

void TemplateSettingsTab::showNotices(QWidget* notices) {
  notices->setParent(this);
  static_cast<QVBoxLayout*>(layout())->insertWidget(1, notices);
}

TemplateSettingsTab::~TemplateSettingsTab() {
  model_.removeListener(token_);
}

}  // namespace wrenfold
