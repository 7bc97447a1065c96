#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "core/memory/style_memory.h"
#include "core/platform/work_queue.h"
#include "core/support/app_logger.h"
#include "core/support/app_paths.h"
#include "core/support/failure.h"
#include "core/support/observable.h"
#include "core/support/stored_file.h"

namespace wrenfold {

// Owns the style memory: loads style-memory.json once, writes the whole file on every change
// and appends each recorded sample to samples.jsonl. Listeners are told after every change of
// memory(). Main thread only. File work is synchronous unless a writer is set: then it runs
// there, in order, and a failure is logged instead of returned.
class StyleMemoryStore : public Observable {
 public:
  using Now = std::function<timefmt::SystemTime()>;

  // Reads style-memory.json; an unreadable or undecodable file gives the empty memory, and
  // loadProblem() says what is wrong with it. The first save keeps that file beside itself.
  StyleMemoryStore(AppPaths paths, AppLogger& logger, Now now = std::chrono::system_clock::now);
  StyleMemoryStore(const StyleMemoryStore&) = delete;
  StyleMemoryStore& operator=(const StyleMemoryStore&) = delete;

  // Waits for the writer's queued file work.
  ~StyleMemoryStore();

  // From now on files are written on `writer` (a serial work queue that outlives the store), so
  // a save never stalls the caller.
  void setWriter(WorkQueue* writer) { writer_ = writer; }

  [[nodiscard]] const StyleMemory& memory() const { return memory_; }

  // Keeps the inserted text as the newest sample (at most 20 kept). Never fails: a failed save
  // is ignored, a failed sample-log append is logged.
  void record(std::string_view text, std::string_view templateID, std::string_view appName);

  // Stores the text as typed. Fails when the file cannot be written; memory() has changed anyway.
  [[nodiscard]] Result<void> updatePreference(std::string_view text);
  // Changes the preference in memory only (the next prompt uses it at once); `saveIfNeeded`
  // writes it later, so typing does not write the file at every key.
  void editPreference(std::string_view text);
  // Writes the memory if it holds an edit not yet saved; a failure is ignored (logged with a
  // writer), the edit stays for the next save.
  void saveIfNeeded();
  [[nodiscard]] bool hasUnsavedChanges() const { return unsaved_; }
  // Blocks until the file work queued on the writer is done (the application quits).
  void flush();

  // Back to the empty memory and no sample log. Fails when the file cannot be written, and then
  // leaves the sample log alone; memory() has changed anyway.
  [[nodiscard]] Result<void> clear();

  // The style-memory.json that exists but could not be read or decoded at start, if any.
  [[nodiscard]] const std::optional<FileProblem>& loadProblem() const { return file_.problem(); }

 private:
  [[nodiscard]] const StyleMemory& emptyMemory();
  [[nodiscard]] Result<void> save(bool clearSampleLog = false);
  void appendToSampleLog(const StyleSample& sample);
  // Runs `job` now, or on the writer; with the writer a failure is logged after `logPrefix`.
  Result<void> persist(std::function<Result<void>()> job, std::string logPrefix);

  struct PendingWrites {
    std::mutex mutex;
    std::condition_variable drained;
    int count = 0;
  };

  AppPaths paths_;
  AppLogger& logger_;
  Now now_;
  StoredFile file_;
  std::optional<StyleMemory> empty_;  // made once when first needed, so a cleared memory keeps its stamp
  StyleMemory memory_;
  bool unsaved_ = false;
  WorkQueue* writer_ = nullptr;
  std::shared_ptr<PendingWrites> pending_ = std::make_shared<PendingWrites>();
};

}  // namespace wrenfold
