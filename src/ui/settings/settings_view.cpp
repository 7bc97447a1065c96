#include "ui/settings/settings_view.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QTabWidget>
#include <QVBoxLayout>
#include <optional>

#include "core/settings/settings_permissions.h"
#include "core/settings/settings_view_model.h"
#include "ui/common/symbol.h"
#include "ui/settings/file_notices_view.h"
#include "ui/settings/model_settings_tab.h"
#include "ui/settings/permission_settings_tab.h"
#include "ui/settings/privacy_settings_tab.h"
#include "ui/settings/template_settings_tab.h"

namespace wrenfold {

SettingsView::SettingsView(const SettingsContext& context, std::unique_ptr<QWidget> shortcutTab,
                           QWidget* parent)
    : QWidget(parent),
      context_(context),
      model_(std::make_unique<SettingsViewModel>(context.modelConfigStore, context.styleMemoryStore,
                                                 context.paths, context.desktop, context.launchAtLogin,
                                                 &context.mainQueue)),
      permissions_(std::make_unique<SettingsPermissions>(context.accessibility, context.windowCapture,
                                                         context.workQueue, context.mainQueue,
                                                         context.inputMethod)),
      tabs_(new QTabWidget(this)),
      guideRow_(new QWidget(this)),
      guide_(new QLabel(guideRow_)),
      privacyNotices_(new FileNoticesView),
      templateNotices_(new FileNoticesView) {
  tabs_->setDocumentMode(false);
  tabs_->setUsesScrollButtons(false);
  std::optional<ModelServicePorts> services;
  if (context.http != nullptr && context.clock != nullptr) {
    services.emplace(ModelServicePorts{*context.http, context.mainQueue, *context.clock});
  }
  tabs_->addTab(new ModelSettingsTab(*model_, services), symbolIcon("cpu"), QStringLiteral("模型"));
  if (shortcutTab) {
    tabs_->addTab(shortcutTab.release(), symbolIcon("keyboard"), QStringLiteral("快捷键"));
  }
  auto* templateTab = new TemplateSettingsTab(*model_);
  templateNotices_->setObjectName(QStringLiteral("templateNotices"));
  templateTab->showNotices(templateNotices_);
  tabs_->addTab(templateTab, symbolIcon("square.grid.2x2"), QStringLiteral("模板"));
  tabs_->addTab(new PermissionSettingsTab(*permissions_, context.sessionOffers), symbolIcon("lock.shield"),
                QStringLiteral("权限"));
  auto* privacyTab = new PrivacySettingsTab(*model_);
  privacyNotices_->setObjectName(QStringLiteral("privacyNotices"));
  privacyTab->showNotices(privacyNotices_);
  tabs_->addTab(privacyTab, symbolIcon("hand.raised"), QStringLiteral("隐私"));
  refreshNotices();
  configToken_ = context_.modelConfigStore.addListener([this] { refreshNotices(); });
  memoryToken_ = context_.styleMemoryStore.addListener([this] { refreshNotices(); });

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
  guide_->setObjectName(QStringLiteral("firstRunGuide"));
  guide_->setWordWrap(true);
  guide_->setTextInteractionFlags(Qt::TextSelectableByMouse);  // the command can be copied
  guide_->setAccessibleName(QStringLiteral("使用提示"));
  // A window that opened by itself says how to put it away: without a tray there is no other
  // sign of where Wrenfold went, and the guide says how to bring the window back.
  auto* closeWindow = new QPushButton(QStringLiteral("关闭窗口"), guideRow_);
  connect(closeWindow, &QPushButton::clicked, this, &QWidget::close);
  auto* guideLayout = new QHBoxLayout(guideRow_);
  guideLayout->setContentsMargins(0, 0, 0, 0);
  guideLayout->addWidget(guide_, 1);
  guideLayout->addWidget(closeWindow, 0, Qt::AlignTop);
  guideRow_->hide();
  layout->addWidget(guideRow_);
  layout->addWidget(tabs_);
  setMinimumSize(kMinimumWidth, kMinimumHeight);
}

void SettingsView::sessionChanged(std::unique_ptr<QWidget> shortcutTab,
                                  const std::vector<std::string>& sessionOffers) {
  const int current = tabs_->currentIndex();
  const auto replace = [this](const QString& title, QWidget* tab) {
    for (int index = 0; index < tabs_->count(); ++index) {
      if (tabs_->tabText(index) == title) {
        QWidget* old = tabs_->widget(index);
        const QIcon icon = tabs_->tabIcon(index);
        tabs_->removeTab(index);
        tabs_->insertTab(index, tab, icon, title);
        delete old;
        return;
      }
    }
    delete tab;
  };
  if (shortcutTab) {
    replace(QStringLiteral("快捷键"), shortcutTab.release());
  }
  replace(QStringLiteral("权限"), new PermissionSettingsTab(*permissions_, sessionOffers));
  tabs_->setCurrentIndex(current);
}

SettingsView::~SettingsView() {
  context_.modelConfigStore.removeListener(configToken_);
  context_.styleMemoryStore.removeListener(memoryToken_);
  // The tabs listen to the models, which are members and would go first: the tabs go now.
  delete tabs_;
}

void SettingsView::setGuide(const QString& text) {
  guide_->setText(text);
  guide_->setAccessibleDescription(text);
  guideRow_->setVisible(!text.isEmpty());
}

QString SettingsView::guide() const {
  return guide_->text();
}

void SettingsView::hideEvent(QHideEvent* event) {
  model_->commitEdits();  // closing the window saves what is still waiting for its pause
  QWidget::hideEvent(event);
}

void SettingsView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!event->spontaneous()) {
    model_->appear();
    permissions_->refresh();
    refreshNotices();  // permissions may have been changed by hand meanwhile
  }
}

void SettingsView::refreshNotices() {
  std::vector<std::string> privacy = context_.paths.exposureWarnings();
  if (const auto& problem = context_.modelConfigStore.loadProblem()) {
    privacy.push_back(problem->message() +
                      (problem->keptAs ? "" : "保存模型设置时会先另存原文件，不会覆盖它。"));
  }
  if (const auto& problem = context_.styleMemoryStore.loadProblem()) {
    privacy.push_back(problem->message() +
                      (problem->keptAs ? "" : "写入语气记忆前会先另存原文件，不会覆盖它。"));
  }
  privacyNotices_->setNotices(privacy);
  std::vector<std::string> templates;
  if (context_.userTemplatesProblem != nullptr && *context_.userTemplatesProblem) {
    templates.push_back((*context_.userTemplatesProblem)->message() +
                        "目前只使用内置模板，修改后重启 Wrenfold 生效。");
  }
  templateNotices_->setNotices(templates);
}

}  // namespace wrenfold
