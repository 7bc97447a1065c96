#include "ui/settings/settings_view.h"

#include <QShowEvent>
#include <QTabWidget>
#include <QVBoxLayout>

#include "ui/settings/model_settings_tab.h"
#include "ui/settings/permission_settings_tab.h"
#include "ui/settings/privacy_settings_tab.h"
#include "ui/settings/settings_permissions.h"
#include "ui/settings/settings_symbol.h"
#include "ui/settings/settings_view_model.h"
#include "ui/settings/template_settings_tab.h"

namespace wrenfold {

SettingsView::SettingsView(const SettingsContext& context, std::unique_ptr<QWidget> shortcutTab,
                           QWidget* parent)
    : QWidget(parent),
      model_(std::make_unique<SettingsViewModel>(context.modelConfigStore, context.styleMemoryStore,
                                                 context.paths, context.desktop, context.launchAtLogin,
                                                 &context.mainQueue)),
      permissions_(std::make_unique<SettingsPermissions>(context.accessibility, context.windowCapture,
                                                         context.workQueue, context.mainQueue)),
      tabs_(new QTabWidget(this)) {
  tabs_->setDocumentMode(false);
  tabs_->setUsesScrollButtons(false);
  tabs_->addTab(new ModelSettingsTab(*model_), SettingsSymbol::icon("cpu"), QStringLiteral("模型"));
  if (shortcutTab) {
    tabs_->addTab(shortcutTab.release(), SettingsSymbol::icon("keyboard"), QStringLiteral("快捷键"));
  }
  tabs_->addTab(new TemplateSettingsTab(*model_), SettingsSymbol::icon("square.grid.2x2"),
                QStringLiteral("模板"));
  tabs_->addTab(new PermissionSettingsTab(*permissions_), SettingsSymbol::icon("lock.shield"),
                QStringLiteral("权限"));
  tabs_->addTab(new PrivacySettingsTab(*model_), SettingsSymbol::icon("hand.raised"), QStringLiteral("隐私"));

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
  layout->addWidget(tabs_);
  setMinimumSize(kMinimumWidth, kMinimumHeight);
}

SettingsView::~SettingsView() {
  // The tabs listen to the models, which are members and would go first: the tabs go now.
  delete tabs_;
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
  }
}

}  // namespace wrenfold
