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

StyleMemoryStore::~StyleMemoryStore() {
  flush();
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
  editPreference(text);
  return save();
}

void StyleMemoryStore::editPreference(std::string_view text) {
  memory_.userWrittenPreference = std::string(text);
  memory_.updatedAt = now_();
  unsaved_ = true;
  notifyChanged();
}

void StyleMemoryStore::saveIfNeeded() {
  if (unsaved_) {
    static_cast<void>(save());
  }
}

Result<void> StyleMemoryStore::clear() {
  memory_ = emptyMemory();
  notifyChanged();
  return save(true);
}

void StyleMemoryStore::flush() {
  std::unique_lock lock(pending_->mutex);
  pending_->drained.wait(lock, [this] { return pending_->count == 0; });
}

Result<void> StyleMemoryStore::persist(std::function<Result<void>()> job, std::string logPrefix) {
  if (writer_ == nullptr) {
    return job();
  }
  {
    std::lock_guard lock(pending_->mutex);
    ++pending_->count;
  }
  writer_->run(
      [pending = pending_, job = std::move(job), logPrefix = std::move(logPrefix), &logger = logger_] {
        if (const auto done = job(); !done) {
          logger.error(logPrefix + done.error().localizedDescription());
        }
        std::lock_guard lock(pending->mutex);
        --pending->count;
        pending->drained.notify_all();
      });
  return {};
}

const StyleMemory& StyleMemoryStore::emptyMemory() {
  if (!empty_) {
    empty_ = StyleMemory::empty(now_());
  }
  return *empty_;
}

Result<void> StyleMemoryStore::save(bool clearSampleLog) {
  unsaved_ = false;  // a failed write is retried by the next change, not by saveIfNeeded
  if (auto ready = paths_.ensureDirectories(); !ready) {
    return ready;
  }
  const bool keepsUnreadable = file_.problem() && !file_.problem()->keptAs;
  if (auto prepared = file_.prepareToWrite(now_()); !prepared) {
    return prepared;  // the unreadable file stays in place, not written over
  }
  if (keepsUnreadable) {
    notifyChanged();  // the problem now names the kept copy
  }
  // Encoded here, written later: the bytes are the memory as it is now.
  auto job = [paths = paths_, bytes = json::dumpPretty(memory_.toJson()), clearSampleLog]() -> Result<void> {
    if (auto ready = paths.ensureDirectories(); !ready) {
      return ready;
    }
    if (auto written = files::writeFileAtomically(paths.styleMemoryURL(), bytes); !written) {
      return written;  // the sample log is then left alone
    }
    if (clearSampleLog) {
      std::error_code ignored;  // a missing log is already what we want
      std::filesystem::remove(paths.samplesURL(), ignored);
    }
    return {};
  };
  return persist(std::move(job), "style memory write failed: ");
}

void StyleMemoryStore::appendToSampleLog(const StyleSample& sample) {
  // The compact encoder replaces invalid UTF-8, so the line is always valid text.
  auto job = [paths = paths_, line = json::dumpCompact(sample.toJson())]() -> Result<void> {
    Result<void> written = paths.ensureDirectories();
    if (written) {
      written = files::appendLine(paths.samplesURL(), line);
    }
    return written;
  };
  if (const auto written = persist(std::move(job), "style sample write failed: "); !written) {
    logger_.error("style sample write failed: " + written.error().localizedDescription());
  }
}

}  // namespace wrenfold
