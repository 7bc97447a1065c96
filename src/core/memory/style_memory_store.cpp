#include "core/memory/style_memory_store.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "core/support/file_io.h"
#include "core/support/json.h"
#include "core/support/uuid.h"

namespace wrenfold {

namespace {

void keepNewest(std::vector<StyleSample>& samples, std::size_t limit) {
  if (samples.size() > limit) {
    samples.erase(samples.begin(), samples.end() - static_cast<std::ptrdiff_t>(limit));
  }
}

}  // namespace

StyleMemoryStore::StyleMemoryStore(AppPaths paths, AppLogger& logger, Now now)
    : paths_(std::move(paths)), logger_(logger), now_(std::move(now)), file_(paths_.styleMemoryURL()) {
  const bool loaded = file_.load([this](std::string_view bytes) -> Result<void> {
    auto decoded = StyleMemory::decode(bytes);
    if (!decoded) {
      return fail(decoded.error());
    }
    memory_ = std::move(*decoded);
    return {};
  });
  if (!loaded) {
    memory_ = emptyMemory();
  }
}

void StyleMemoryStore::record(std::string_view text, std::string_view templateID, std::string_view appName) {
  const timefmt::SystemTime now = now_();
  StyleSample sample{Uuid::random(), std::string(text), std::string(templateID), std::string(appName), now};
  memory_.recentSamples.push_back(sample);
  keepNewest(memory_.recentSamples, StyleMemory::maxRecentSamples);
  memory_.updatedAt = now;
  notifyChanged();
  // The memory in RAM is what the next prompt uses; a failed save is retried by the next change.
  (void)save();
  appendToSampleLog(sample);
}

Result<void> StyleMemoryStore::updatePreference(std::string_view text) {
  memory_.userWrittenPreference = std::string(text);
  memory_.updatedAt = now_();
  notifyChanged();
  return save();
}

Result<void> StyleMemoryStore::clear() {
  memory_ = emptyMemory();
  notifyChanged();
  if (auto saved = save(); !saved) {
    return saved;
  }
  std::error_code ignored;  // a missing log is already what we want
  std::filesystem::remove(paths_.samplesURL(), ignored);
  return {};
}

const StyleMemory& StyleMemoryStore::emptyMemory() {
  if (!empty_) {
    empty_ = StyleMemory::empty(now_());
  }
  return *empty_;
}

Result<void> StyleMemoryStore::save() {
  if (auto ready = paths_.ensureDirectories(); !ready) {
    return ready;
  }
  const bool keepsUnreadable = file_.problem() && !file_.problem()->keptAs;
  if (auto prepared = file_.prepareToWrite(now_()); !prepared) {
    return prepared;
  }
  if (keepsUnreadable) {
    notifyChanged();  // the problem now names the kept copy
  }
  return files::writeFileAtomically(paths_.styleMemoryURL(), json::dumpPretty(memory_.toJson()));
}

void StyleMemoryStore::appendToSampleLog(const StyleSample& sample) {
  Result<void> written = paths_.ensureDirectories();
  if (written) {
    // The compact encoder replaces invalid UTF-8, so the line is always valid text.
    written = files::appendLine(paths_.samplesURL(), json::dumpCompact(sample.toJson()));
  }
  if (!written) {
    logger_.error("style sample write failed: " + written.error().localizedDescription());
  }
}

}  // namespace wrenfold
