#include "ui/settings/api_key_storage_view.h"

#include <QCheckBox>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "core/settings/settings_view_model.h"
#include "ui/common/style.h"
#include "ui/common/tone_label.h"

namespace wrenfold {
namespace {

const QString kServiceSwitchNote = QStringLiteral(
    "API Key 只发送给填写它时所选的服务商：切换服务商会清空 Key，切回已保存的服务商时恢复原来的 Key。"
    "所有更改在点击“保存更改”后才用于生成。");

QString storageNote(const SettingsViewModel& model) {
  if (model.keepsKeyInKeyring()) {
    return QStringLiteral("保存后 API Key 存放在系统密钥环中，config.json 不含 Key。");
  }
  if (model.offersKeyring()) {
    return QStringLiteral("API Key 以明文保存在 config.json 中（只有你能读取）。");
  }
  return QStringLiteral(
      "没有可用的系统密钥环（Secret Service），API Key 以明文保存在 config.json 中（只有你能读取）。");
}

}  // namespace

APIKeyStorageView::APIKeyStorageView(SettingsViewModel& model, QWidget* parent)
    : QWidget(parent),
      model_(model),
      inKeyring_(new QCheckBox(QStringLiteral("在系统密钥环中保存 API Key"), this)),
      note_(new ToneLabel({}, &style::secondary, this)) {
  inKeyring_->setObjectName(QStringLiteral("apiKeyInKeyring"));
  // `clicked` is the user's own change only; refresh() sets the state without a signal.
  connect(inKeyring_, &QCheckBox::clicked, this, [this](bool checked) { model_.setKeyInKeyring(checked); });
  note_->setObjectName(QStringLiteral("apiKeyNote"));
  note_->setFont(style::caption(font()));
  note_->setWordWrap(true);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(4);
  layout->addWidget(inKeyring_);
  layout->addWidget(note_);
  refresh();
}

void APIKeyStorageView::refresh() {
  inKeyring_->setVisible(model_.offersKeyring());
  {
    const QSignalBlocker blocker(inKeyring_);
    inKeyring_->setChecked(model_.keepsKeyInKeyring());
  }
  note_->setText(storageNote(model_) + QLatin1Char('\n') + kServiceSwitchNote);
}

}  // namespace wrenfold
