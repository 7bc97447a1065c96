#include "ui/settings/model_settings_tab.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <limits>

#include "core/settings/settings_view_model.h"
#include "ui/common/style.h"
#include "ui/common/symbol.h"
#include "ui/settings/api_key_storage_view.h"
#include "ui/settings/save_status_view.h"
#include "ui/settings/settings_form_group.h"
#include "ui/settings/settings_section_header.h"
#include "ui/settings/status_label.h"

namespace wrenfold {
namespace {

constexpr int kSliderWidth = 180;
constexpr int kValueMinWidth = 32;

QString qs(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

int sliderPosition(double temperature) {
  const double ticks = std::round(temperature * ModelSettingsTab::kSliderTicks);
  return static_cast<int>(std::clamp(ticks, 0.0, static_cast<double>(ModelSettingsTab::kSliderTicks)));
}

// A field's text is set only when it differs, so a refresh caused by the
// user's own typing does not move the cursor.
void setTextIfChanged(QLineEdit* field, const std::string& text) {
  const QString value = QString::fromStdString(text);
  if (field->text() != value) {
    const QSignalBlocker blocker(field);
    field->setText(value);
  }
}

}  // namespace

ModelSettingsTab::ModelSettingsTab(SettingsViewModel& model, std::optional<ModelServicePorts> services,
                                   QWidget* parent)
    : QWidget(parent), model_(model), services_(services) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 8, 4, 4);
  layout->setSpacing(18);
  layout->addWidget(makeServiceGroup());
  layout->addWidget(makeConnectionGroup());
  layout->addWidget(makePreferenceGroup());
  layout->addLayout(makeSaveRow());
  layout->addStretch(1);
  refresh();
  token_ = model_.addListener([this] { refresh(); });
}

ModelSettingsTab::~ModelSettingsTab() {
  model_.removeListener(token_);
}

QString ModelSettingsTab::formattedTemperature(double temperature) {
  return QLocale().toString(temperature, 'f', 2);
}

QWidget* ModelSettingsTab::makeServiceGroup() {
  auto* group = new SettingsFormGroup(this);
  group->setHeader(new SettingsSectionHeader(
      QStringLiteral("模型服务"),
      QStringLiteral("选择用于生成候选内容的模型服务。切换服务商会填入推荐连接参数。")));
  provider_ = new QComboBox(group);
  provider_->setObjectName(QStringLiteral("provider"));
  for (const ModelProvider provider : ModelProvider::allCases()) {
    provider_->addItem(qs(provider.displayName()));
  }
  provider_->setAccessibleName(QStringLiteral("服务商"));
  // Only the user's choice switches the service: refresh() sets the index with signals blocked.
  connect(provider_, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (index >= 0 && static_cast<std::size_t>(index) < ModelProvider::allCases().size()) {
      model_.selectProvider(ModelProvider::allCases()[static_cast<std::size_t>(index)]);
    }
  });
  group->addRow(QStringLiteral("服务商"), provider_);
  return group;
}

QWidget* ModelSettingsTab::makeConnectionGroup() {
  auto* group = new SettingsFormGroup(this);
  group->setCaption(QStringLiteral("连接"));
  baseURL_ = new QLineEdit(group);
  baseURL_->setObjectName(QStringLiteral("baseURL"));
  baseURL_->setInputMethodHints(Qt::ImhUrlCharactersOnly | Qt::ImhNoAutoUppercase);
  baseURL_->setAccessibleName(QStringLiteral("Base URL"));
  connect(baseURL_, &QLineEdit::textEdited, this,
          [this](const QString& text) { model_.setBaseURL(text.toStdString()); });
  group->addRow(QStringLiteral("Base URL"), baseURL_);
  // Shown before anything is sent: the key would cross the network unencrypted.
  clearTextWarning_ = new StatusLabel(group);
  clearTextWarning_->setObjectName(QStringLiteral("clearTextWarning"));
  clearTextWarning_->setContent(
      "exclamationmark.triangle.fill",
      QStringLiteral("这个地址用 http 而不是 https，也不在本机或局域网："
                     "API Key 会未加密地经过网络。请改用 https，或确认你信任这条网络。"),
      &style::warning);
  group->addRow({}, clearTextWarning_);

  modelName_ = new QLineEdit(group);
  modelName_->setObjectName(QStringLiteral("model"));
  modelName_->setAccessibleName(QStringLiteral("模型"));
  connect(modelName_, &QLineEdit::textEdited, this,
          [this](const QString& text) { model_.setModel(text.toStdString()); });
  if (services_) {
    serviceTools_ = new ModelServiceTools(model_, *services_, *modelName_, group);
    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    row->addWidget(modelName_, 1);
    row->addWidget(serviceTools_->listButton());
    row->addWidget(serviceTools_->localServersButton());
    group->addRow(QStringLiteral("模型"), row);
  } else {
    group->addRow(QStringLiteral("模型"), modelName_);
  }

  group->addRow(QStringLiteral("API Key"), makeKeyRow());
  keyStorage_ = new APIKeyStorageView(model_, group);
  group->addRow({}, keyStorage_);
  if (serviceTools_ != nullptr) {
    group->addRow({}, serviceTools_->testRow());
  }
  return group;
}

QLayout* ModelSettingsTab::makeKeyRow() {
  apiKey_ = new QLineEdit(this);
  apiKey_->setObjectName(QStringLiteral("apiKey"));
  apiKey_->setPlaceholderText(QStringLiteral("输入 API Key"));
  apiKey_->setAccessibleName(QStringLiteral("API Key"));
  apiKey_->setInputMethodHints(Qt::ImhHiddenText | Qt::ImhNoPredictiveText | Qt::ImhNoAutoUppercase);
  // The style's default mask character is a large circle in CJK fonts; a bullet reads better.
  apiKey_->setStyleSheet(QStringLiteral("lineedit-password-character: 8226;"));
  connect(apiKey_, &QLineEdit::textEdited, this,
          [this](const QString& text) { model_.setAPIKey(text.toStdString()); });
  eye_ = new QToolButton(this);
  eye_->setObjectName(QStringLiteral("apiKeyVisibility"));
  eye_->setAutoRaise(true);
  eye_->setFocusPolicy(Qt::TabFocus);
  connect(eye_, &QToolButton::clicked, this, [this] { model_.toggleAPIKeyVisible(); });
  auto* row = new QHBoxLayout;
  row->setSpacing(4);
  row->addWidget(apiKey_, 1);
  row->addWidget(eye_);
  return row;
}

QWidget* ModelSettingsTab::makePreferenceGroup() {
  auto* group = new SettingsFormGroup(this);
  group->setCaption(QStringLiteral("生成偏好"));
  group->addRow(QStringLiteral("Temperature"), makeTemperatureRow());

  maxTokens_ = new QSpinBox(group);
  maxTokens_->setObjectName(QStringLiteral("maxTokens"));
  maxTokens_->setRange(kMinTokens, kMaxTokens);
  maxTokens_->setSingleStep(kTokenStep);
  maxTokens_->setPrefix(QStringLiteral("最多 "));
  maxTokens_->setSuffix(QStringLiteral(" tokens"));
  // Typed digits count once the field is left or Return is pressed, not at every keystroke.
  maxTokens_->setKeyboardTracking(false);
  connect(maxTokens_, &QSpinBox::valueChanged, this, [this](int value) { model_.setMaxTokens(value); });
  auto* row = new QHBoxLayout;
  row->addWidget(maxTokens_);
  row->addStretch(1);
  group->addRow({}, row);

  // Off for servers that mishandle streamed replies; on, candidates show as they are written.
  streamReplies_ = new QCheckBox(QStringLiteral("流式接收候选"), group);
  streamReplies_->setObjectName(QStringLiteral("streamReplies"));
  connect(streamReplies_, &QCheckBox::clicked, this,
          [this](bool checked) { model_.setStreamReplies(checked); });
  group->addRow({}, streamReplies_);
  return group;
}

QLayout* ModelSettingsTab::makeTemperatureRow() {
  temperature_ = new QSlider(Qt::Horizontal, this);
  temperature_->setObjectName(QStringLiteral("temperature"));
  temperature_->setRange(0, kSliderTicks);
  temperature_->setSingleStep(1);
  temperature_->setPageStep(2);
  temperature_->setFixedWidth(kSliderWidth);
  temperature_->setAccessibleName(QStringLiteral("Temperature"));
  connect(temperature_, &QSlider::valueChanged, this,
          [this](int ticks) { model_.setTemperature(static_cast<double>(ticks) / kSliderTicks); });
  temperatureValue_ = new QLabel(this);
  temperatureValue_->setObjectName(QStringLiteral("temperatureValue"));
  temperatureValue_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  const int digitsWidth = temperatureValue_->fontMetrics().horizontalAdvance(formattedTemperature(0.88));
  temperatureValue_->setFixedWidth(std::max(kValueMinWidth, digitsWidth + 4));
  auto* row = new QHBoxLayout;
  row->addWidget(temperature_);
  row->addWidget(temperatureValue_);
  row->addStretch(1);
  return row;
}

QLayout* ModelSettingsTab::makeSaveRow() {
  save_ = new QPushButton(QStringLiteral("保存更改"), this);
  save_->setObjectName(QStringLiteral("save"));
  save_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);  // the status, not the button, takes the row
  save_->setShortcut(QKeySequence(QStringLiteral("Ctrl+S")));
  save_->setToolTip(
      QStringLiteral("保存更改 (%1)").arg(save_->shortcut().toString(QKeySequence::NativeText)));
  connect(save_, &QPushButton::clicked, this, [this] {
    maxTokens_->interpretText();  // Ctrl+S leaves the focus where it is: take a count still being typed
    model_.saveModelSettings();
  });
  status_ = new SaveStatusView(SaveStatusView::Shows::savedAndFailed, this);
  status_->setObjectName(QStringLiteral("saveStatus"));
  auto* row = new QHBoxLayout;
  row->setContentsMargins(4, 0, 4, 0);
  row->setSpacing(12);
  row->addWidget(save_);
  row->addWidget(status_, 1, Qt::AlignVCenter);
  row->addStretch(0);  // takes the row only while the status is hidden
  return row;
}

void ModelSettingsTab::refresh() {
  const ModelConfig& config = model_.config();
  {
    const auto& all = ModelProvider::allCases();
    const auto index = std::distance(all.begin(), std::ranges::find(all, config.provider));
    const QSignalBlocker blocker(provider_);
    provider_->setCurrentIndex(static_cast<int>(index));
  }
  setTextIfChanged(baseURL_, config.baseURL);
  setTextIfChanged(modelName_, config.model);
  refreshKeyField();
  {
    const QSignalBlocker blocker(temperature_);
    temperature_->setValue(sliderPosition(config.temperature));
  }
  temperatureValue_->setText(formattedTemperature(config.temperature));
  {
    // A stored value outside the usual range (an edited config.json) is shown as it is, not
    // clamped and written back: the range widens to hold it until the user steps away.
    const auto value = static_cast<int>(std::clamp<std::int64_t>(
        config.maxTokens, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
    const QSignalBlocker blocker(maxTokens_);
    maxTokens_->setRange(std::min(kMinTokens, value), std::max(kMaxTokens, value));
    maxTokens_->setValue(value);
  }
  {
    const QSignalBlocker blocker(streamReplies_);
    streamReplies_->setChecked(config.streamReplies);
  }
  keyStorage_->refresh();
  save_->setEnabled(!model_.isSaving());
  status_->setStatus(model_.status());
}

void ModelSettingsTab::refreshKeyField() {
  setTextIfChanged(apiKey_, model_.apiKey());
  apiKey_->setPlaceholderText(qs(model_.keyPlaceholder()));
  clearTextWarning_->setVisible(model_.sendsKeyInClear());
  const bool visible = model_.isAPIKeyVisible();
  apiKey_->setEchoMode(visible ? QLineEdit::Normal : QLineEdit::Password);
  eye_->setIcon(symbolIcon(visible ? "eye.slash" : "eye"));
  const QString label = visible ? QStringLiteral("隐藏 API Key") : QStringLiteral("显示 API Key");
  eye_->setToolTip(label);
  eye_->setAccessibleName(label);
}

}  // namespace wrenfold
