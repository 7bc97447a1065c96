#pragma once

// The model list and "测试连接" of the "模型" tab. "列出模型" fetches the models the chosen
// service lists and offers them under the model field (which stays editable); "测试连接" sends
// the smallest request that proves the key, address and model, and shows the time it took or
// the service's reason. Both use the tab's key only for the saved service and address, or when
// it was typed for this one; a server on this machine or a private network gets none when there
// is none. They fetch on the HTTP client's worker and answer on the main queue. "本地服务"
// fills in the address of a server people run themselves and lists its models.

#include <QObject>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "core/ai/http_client.h"
#include "core/ai/model_config.h"
#include "core/platform/clock.h"
#include "core/platform/main_queue.h"
#include "core/support/observable.h"

class QCompleter;
class QLineEdit;
class QPushButton;
class QStringListModel;
class QWidget;

namespace wrenfold {

class ChatParameterMemory;
class SettingsViewModel;
class StatusLabel;

// What the tools send through; every reference outlives the settings window.
struct ModelServicePorts {
  HttpClient& http;
  MainQueue& mainQueue;
  const Clock& clock;
};

struct LocalServer {
  const char* name;
  const char* baseURL;
};
inline constexpr std::array<LocalServer, 4> kLocalServers{{
    {"Ollama", "http://127.0.0.1:11434/v1"},
    {"llama.cpp", "http://127.0.0.1:8080/v1"},
    {"LM Studio", "http://127.0.0.1:1234/v1"},
    {"vLLM", "http://127.0.0.1:8000/v1"},
}};

class ModelServiceTools : public QObject {
 public:
  // `modelField` is the tab's model field; the tools' widgets are made with `parent`.
  ModelServiceTools(SettingsViewModel& model, ModelServicePorts ports, QLineEdit& modelField,
                    QWidget* parent);
  ~ModelServiceTools() override;
  ModelServiceTools(const ModelServiceTools&) = delete;
  ModelServiceTools& operator=(const ModelServiceTools&) = delete;

  // "列出模型", to sit beside the model field.
  [[nodiscard]] QPushButton* listButton() const { return list_; }
  // "本地服务", a menu of kLocalServers.
  [[nodiscard]] QPushButton* localServersButton() const { return local_; }
  // "测试连接" and the outcome of either action.
  [[nodiscard]] QWidget* testRow() const { return row_; }

  void listModels();
  void testConnection();
  // The OpenAI-compatible service at `server`'s address, then its model list.
  void useLocalServer(const LocalServer& server);

 private:
  // Starts an action for the current configuration; gives its number.
  [[nodiscard]] std::uint64_t begin(const QString& progress);
  // Whether `request` is still the latest action (a newer one, or a change of service or
  // address, makes its answer moot); if so, the buttons work again.
  [[nodiscard]] bool finish(std::uint64_t request);
  [[nodiscard]] bool isSameService(const ModelConfig& other) const;
  void showFailure(const std::string& message);
  // Why nothing may be sent with the key the tab holds for `asked`, if so.
  [[nodiscard]] std::optional<std::string> keyRefusal(const ModelConfig& asked) const;
  // A list or an answer for another service or address no longer applies.
  void dropWhatNoLongerApplies();

  SettingsViewModel& model_;
  ModelServicePorts ports_;
  QLineEdit& modelField_;
  std::shared_ptr<ChatParameterMemory> parameterMemory_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  Observable::Token token_ = 0;
  std::uint64_t request_ = 0;
  std::optional<ModelConfig> pending_;    // what the action in flight asked about
  std::optional<ModelConfig> listedFor_;  // what the offered list came from
  QPushButton* list_;
  QPushButton* local_;
  QPushButton* test_;
  QWidget* row_;
  StatusLabel* status_;
  QStringListModel* models_;
  QCompleter* completer_;
};

}  // namespace wrenfold
