#include "core/memory/style_memory_store.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "core/support/file_io.h"
#include "core/support/json.h"
#include "core/support/uuid.h"

namespace wrenfold {

namespace {

Result<StyleMemory> loadMemory(const AppPaths& paths) {
  auto bytes = files::readFile(paths.styleMemoryURL());
  if (!bytes) {
    return fail(bytes.error());
  }
  return StyleMemory::decode(*bytes);
}

void keepNewest(std::vector<StyleSample>& samples, std::size_t limit) {
  if (samples.size() > limit) {
    samples.erase(samples.begin(), samples.end() - static_cast<std::ptrdiff_t>(limit));
  }
}

}  // namespace

StyleMemoryStore::StyleMemoryStore(AppPaths paths, AppLogger& logger, Now now)
    : paths_(std::move(paths)), logger_(logger), now_(std::move(now)) {
  auto loaded = loadMemory(paths_);
  memory_ = loaded ? std::move(*loaded) : emptyMemory();
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

Result<void> StyleMemoryStore::save() const {
  if (auto ready = paths_.ensureDirectories(); !ready) {
    return ready;
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
