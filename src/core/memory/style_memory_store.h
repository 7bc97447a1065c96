#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string_view>

#include "core/memory/style_memory.h"
#include "core/support/app_logger.h"
#include "core/support/app_paths.h"
#include "core/support/failure.h"
#include "core/support/observable.h"
#include "core/support/stored_file.h"

namespace wrenfold {

// Owns the style memory: loads style-memory.json once, writes the whole file on every change
// and appends each recorded sample to samples.jsonl. Listeners are told after every change of
// memory(). Main thread only; file work is synchronous.
class StyleMemoryStore : public Observable {
 public:
  using Now = std::function<timefmt::SystemTime()>;

  // Reads style-memory.json; an unreadable or undecodable file gives the empty memory, and
  // loadProblem() says what is wrong with it. The first save keeps that file beside itself.
  StyleMemoryStore(AppPaths paths, AppLogger& logger, Now now = std::chrono::system_clock::now);
  StyleMemoryStore(const StyleMemoryStore&) = delete;
  StyleMemoryStore& operator=(const StyleMemoryStore&) = delete;

  [[nodiscard]] const StyleMemory& memory() const { return memory_; }

  // Keeps the inserted text as the newest sample (at most 20 kept). Never fails: a failed save
  // is ignored, a failed sample-log append is logged.
  void record(std::string_view text, std::string_view templateID, std::string_view appName);

  // Stores the text as typed. Fails when the file cannot be written; memory() has changed anyway.
  [[nodiscard]] Result<void> updatePreference(std::string_view text);

  // Back to the empty memory and no sample log. Fails when the file cannot be written, and then
  // leaves the sample log alone; memory() has changed anyway.
  [[nodiscard]] Result<void> clear();

  // The style-memory.json that exists but could not be read or decoded at start, if any.
  [[nodiscard]] const std::optional<FileProblem>& loadProblem() const { return file_.problem(); }

 private:
  [[nodiscard]] const StyleMemory& emptyMemory();
  [[nodiscard]] Result<void> save();
  void appendToSampleLog(const StyleSample& sample);

  AppPaths paths_;
  AppLogger& logger_;
  Now now_;
  StoredFile file_;
  std::optional<StyleMemory> empty_;  // made once when first needed, so a cleared memory keeps its stamp
  StyleMemory memory_;
};

}  // namespace wrenfold
