#include "core/ai/model_catalog.h"

#include <algorithm>
#include <memory>

#include "core/ai/llm_provider_factory.h"
#include "core/text/text.h"

namespace wrenfold {
namespace {

constexpr std::string_view kPageSize = "1000";

std::string stringAt(const json::Json& object, std::string_view key) {
  const auto it = object.find(key);
  return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// Gemini lists embedding and other models too; only those that generate content can answer.
bool generatesContent(const json::Json& model) {
  const auto methods = model.find("supportedGenerationMethods");
  return methods == model.end() || !methods->is_array() ||
         std::ranges::find(*methods, json::Json("generateContent")) != methods->end();
}

// The pages of one listing, fetched one after another.
struct Listing {
  ModelProvider provider;
  BaseURL firstPage;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string apiKey;
  ProviderSession session;
  ModelCatalog::Completion completion;
  std::vector<std::string> models;
  int pages = 0;
  std::optional<BaseURL> ollamaTags;  // asked when the first page fails

  // Ollama's own list, {"models":[{"name":...}]}; the first failure is the one reported.
  void askOllama(const std::shared_ptr<Listing>& self, Failure first) {
    HttpRequest request{"GET", ollamaTags->string(), headers, {}, nullptr, {}};
    ollamaTags.reset();
    llm_exchange::fetch(session, std::move(request), {apiKey, {}},
                        [self, first = std::move(first)](Result<HttpResponse> response) {
                          const auto reply = response ? json::parse(text::repairUtf8(response->body))
                                                      : Result<json::Json>(fail(response.error()));
                          auto list = reply ? llm_exchange::requireArray(*reply, "models")
                                            : Result<const json::Json*>(fail(reply.error()));
                          if (!list) {
                            self->completion(fail(first));
                            return;
                          }
                          for (const auto& entry : **list) {
                            if (entry.is_object() && !text::isBlank(stringAt(entry, "name"))) {
                              self->models.push_back(stringAt(entry, "name"));
                            }
                          }
                          self->completion(std::move(self->models));
                        });
  }

  static void fetchPage(const std::shared_ptr<Listing>& self,
                        std::optional<std::pair<std::string, std::string>> next) {
    BaseURL url = self->firstPage;
    if (self->provider == ModelProvider::anthropic) {
      url.appendQueryItem("limit", kPageSize);
    } else if (self->provider == ModelProvider::gemini) {
      url.appendQueryItem("pageSize", kPageSize);
    }
    if (next) {
      url.appendQueryItem(next->first, next->second);
    }
    HttpRequest request{"GET", url.string(), self->headers, {}, nullptr, {}};
    llm_exchange::fetch(self->session, std::move(request), {self->apiKey, {}},
                        [self](Result<HttpResponse> response) { self->received(self, std::move(response)); });
  }

  void received(const std::shared_ptr<Listing>& self, Result<HttpResponse> response) {
    const auto reply =
        response ? json::parse(text::repairUtf8(response->body)) : Result<json::Json>(fail(response.error()));
    auto page =
        reply ? ModelCatalog::readPage(provider, *reply) : Result<ModelCatalog::Page>(fail(reply.error()));
    if (!page && ollamaTags && pages == 0) {
      askOllama(self, page.error());
      return;
    }
    if (!page) {
      completion(fail(page.error()));
      return;
    }
    for (auto& model : page->models) {
      if (std::ranges::find(models, model) == models.end()) {
        models.push_back(std::move(model));
      }
    }
    if (page->next && ++pages < ModelCatalog::kMaxPages) {
      fetchPage(self, std::move(page->next));
      return;
    }
    completion(std::move(models));
  }
};

}  // namespace

Failure missingKeyFailure() {
  return Failure::platform("请先填写 API Key（本机或局域网地址上的服务不需要 Key）。");
}

Result<ModelCatalog::Page> ModelCatalog::readPage(ModelProvider provider, const json::Json& reply) {
  const bool gemini = provider == ModelProvider::gemini;
  Page page;
  if (gemini && reply.is_object() && !reply.contains("models")) {
    return page;  // an empty list leaves the key out
  }
  auto list = llm_exchange::requireArray(reply, gemini ? "models" : "data");
  if (!list) {
    return fail(list.error());
  }
  for (const auto& entry : **list) {
    if (!entry.is_object() || (gemini && !generatesContent(entry))) {
      continue;
    }
    const std::string id =
        gemini ? std::string(service_url::geminiModelID(stringAt(entry, "name"))) : stringAt(entry, "id");
    if (!text::isBlank(id)) {
      page.models.push_back(id);
    }
  }
  if (gemini && !stringAt(reply, "nextPageToken").empty()) {
    page.next = {"pageToken", stringAt(reply, "nextPageToken")};
  } else if (provider == ModelProvider::anthropic && reply.contains("has_more") &&
             reply["has_more"] == true && !stringAt(reply, "last_id").empty()) {
    page.next = {"after_id", stringAt(reply, "last_id")};
  }
  return page;
}

void ModelCatalog::fetch(const ModelConfig& config, const std::string& apiKey, const ProviderSession& session,
                         Completion completion) {
  std::string key = text::trim(apiKey);
  auto url = service_url::modelList(config);
  if (!url || (key.empty() && !service_url::isLocalService(config))) {
    session.mainQueue.post(
        [completion = std::move(completion), failure = url ? missingKeyFailure() : url.error()] {
          completion(fail(failure));
        });
    return;
  }
  auto listing = std::make_shared<Listing>(Listing{config.provider,
                                                   std::move(*url),
                                                   LLMProviderFactory::authHeaders(config.provider, key),
                                                   key,
                                                   session,
                                                   std::move(completion),
                                                   {},
                                                   0,
                                                   std::nullopt});
  if (config.provider == ModelProvider::openAICompatible && service_url::isLocalService(config)) {
    if (auto base = BaseURL::parse(config.baseURL)) {
      base->setPath("/api/tags");
      listing->ollamaTags = std::move(*base);
    }
  }
  Listing::fetchPage(listing, std::nullopt);
}

}  // namespace wrenfold
