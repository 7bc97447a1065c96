#include "ui/settings/model_service_tools.h"

#include <QCompleter>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QStringListModel>

#include "core/ai/chat_parameter_memory.h"
#include "core/ai/connection_test.h"
#include "core/ai/model_catalog.h"
#include "core/ai/service_url.h"
#include "core/settings/settings_view_model.h"
#include "core/text/text.h"
#include "ui/common/style.h"
#include "ui/settings/status_label.h"

namespace wrenfold {
namespace {

QString qs(const std::string& text) {
  return QString::fromStdString(text);
}

}  // namespace

ModelServiceTools::ModelServiceTools(SettingsViewModel& model, ModelServicePorts ports, QLineEdit& modelField,
                                     QWidget* parent)
    : QObject(parent),
      model_(model),
      ports_(ports),
      modelField_(modelField),
      parameterMemory_(std::make_shared<ChatParameterMemory>()),
      list_(new QPushButton(QStringLiteral("列出模型"), parent)),
      local_(new QPushButton(QStringLiteral("本地服务"), parent)),
      test_(new QPushButton(QStringLiteral("测试连接"), parent)),
      row_(new QWidget(parent)),
      status_(new StatusLabel(row_)),
      models_(new QStringListModel(this)),
      completer_(new QCompleter(models_, this)) {
  list_->setObjectName(QStringLiteral("listModels"));
  local_->setObjectName(QStringLiteral("localServers"));
  local_->setToolTip(QStringLiteral("填入本机运行的模型服务的地址，并列出它的模型"));
  auto* menu = new QMenu(local_);
  for (const LocalServer& server : kLocalServers) {
    menu->addAction(
        QStringLiteral("%1  %2").arg(QString::fromUtf8(server.name), QString::fromUtf8(server.baseURL)), this,
        [this, &server] { useLocalServer(server); });
  }
  local_->setMenu(menu);
  list_->setToolTip(QStringLiteral("列出服务提供的模型"));
  test_->setObjectName(QStringLiteral("testConnection"));
  test_->setToolTip(QStringLiteral("用当前的服务、地址、模型和 API Key 发送一个最小的请求"));
  status_->setObjectName(QStringLiteral("serviceStatus"));
  status_->setVisible(false);
  auto* layout = new QHBoxLayout(row_);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(12);
  layout->addWidget(test_);
  layout->addWidget(status_, 1, Qt::AlignVCenter);

  // The field stays free text; the list only offers what the service named.
  completer_->setCaseSensitivity(Qt::CaseInsensitive);
  completer_->setFilterMode(Qt::MatchContains);
  completer_->setMaxVisibleItems(12);
  modelField_.setCompleter(completer_);
  connect(completer_, qOverload<const QString&>(&QCompleter::activated), this,
          [this](const QString& text) { model_.setModel(text.toStdString()); });
  connect(list_, &QPushButton::clicked, this, [this] { listModels(); });
  connect(test_, &QPushButton::clicked, this, [this] { testConnection(); });
  token_ = model_.addListener([this] { dropWhatNoLongerApplies(); });
}

ModelServiceTools::~ModelServiceTools() {
  model_.removeListener(token_);
}

void ModelServiceTools::useLocalServer(const LocalServer& server) {
  model_.selectProvider(ModelProvider(ModelProvider::openAICompatible));
  model_.setBaseURL(server.baseURL);
  listModels();
}

std::optional<std::string> ModelServiceTools::keyRefusal(const ModelConfig& asked) const {
  if (!text::isBlank(model_.keyForService()) || service_url::isLocalService(asked)) {
    return std::nullopt;
  }
  if (model_.withholdsSavedKey()) {
    return "API Key 只发给保存它时的服务地址。要使用这个尚未保存的地址，请为它输入 API Key。";
  }
  if (model_.isKeyUnread()) {
    return "API Key " + model_.keyPlaceholder();
  }
  return std::nullopt;  // the request itself asks for a key
}

void ModelServiceTools::listModels() {
  const ModelConfig asked = model_.config();
  const std::uint64_t request = begin(QStringLiteral("正在获取模型列表…"));
  if (const auto refusal = keyRefusal(asked)) {
    static_cast<void>(finish(request));
    showFailure(*refusal);
    return;
  }
  ModelCatalog::fetch(
      asked, model_.keyForService(), ProviderSession{ports_.http, ports_.mainQueue},
      [this, alive = std::weak_ptr<bool>(alive_), asked, request](Result<std::vector<std::string>> models) {
        if (alive.expired() || !finish(request)) {
          return;
        }
        if (!models) {
          showFailure(models.error().localizedDescription());
          return;
        }
        QStringList names;
        for (const auto& name : *models) {
          names << qs(name);
        }
        models_->setStringList(names);
        listedFor_ = asked;
        status_->setContent("checkmark.circle.fill",
                            QStringLiteral("服务列出了 %1 个模型，可在“模型”中选择。").arg(names.size()),
                            &successTone);
        if (!names.isEmpty()) {
          modelField_.setFocus();
          completer_->setCompletionPrefix({});
          completer_->complete();
        }
      });
}

void ModelServiceTools::testConnection() {
  const ModelConfig asked = model_.config();
  const std::uint64_t request = begin(QStringLiteral("正在测试连接…"));
  if (const auto refusal = keyRefusal(asked)) {
    static_cast<void>(finish(request));
    showFailure(*refusal);
    return;
  }
  ConnectionTest::run(
      asked, model_.keyForService(), ProviderSession{ports_.http, ports_.mainQueue, parameterMemory_},
      ports_.clock,
      [this, alive = std::weak_ptr<bool>(alive_), asked, request](Result<std::chrono::milliseconds> elapsed) {
        if (alive.expired() || !finish(request)) {
          return;
        }
        if (!elapsed) {
          showFailure(elapsed.error().localizedDescription());
          return;
        }
        const QString seconds = QLocale().toString(static_cast<double>(elapsed->count()) / 1000.0, 'f', 2);
        status_->setContent(
            "checkmark.circle.fill",
            QStringLiteral("连接正常：“%1”已回应，用时 %2 秒。").arg(qs(asked.model), seconds), &successTone);
      });
}

std::uint64_t ModelServiceTools::begin(const QString& progress) {
  pending_ = model_.config();
  list_->setEnabled(false);
  local_->setEnabled(false);
  test_->setEnabled(false);
  status_->setContent("arrow.clockwise", progress, &style::secondary);
  status_->setVisible(true);
  return ++request_;
}

bool ModelServiceTools::finish(std::uint64_t request) {
  if (request != request_) {
    return false;
  }
  pending_.reset();
  list_->setEnabled(true);
  local_->setEnabled(true);
  test_->setEnabled(true);
  return true;
}

bool ModelServiceTools::isSameService(const ModelConfig& other) const {
  const ModelConfig& now = model_.config();
  return now.provider == other.provider && now.baseURL == other.baseURL;
}

void ModelServiceTools::showFailure(const std::string& message) {
  status_->setContent("exclamationmark.triangle.fill", qs(message), &style::warning);
}

void ModelServiceTools::dropWhatNoLongerApplies() {
  if (pending_ && !isSameService(*pending_)) {
    // The answer on its way is for the old service: it will find a newer request number.
    static_cast<void>(finish(request_));
    ++request_;
    status_->setVisible(false);
  }
  if (listedFor_ && !isSameService(*listedFor_)) {
    listedFor_.reset();
    models_->setStringList({});
    status_->setVisible(false);
  }
}

}  // namespace wrenfold
