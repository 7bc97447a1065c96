#pragma once

// The process-wide logger: messages to the system log and logs/app.log, usage events to
// events/local-events.jsonl. Files are written by one serial worker thread in call order;
// callers never wait for the disk and never see a failure.

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "core/support/app_paths.h"
#include "core/support/system_log.h"

namespace wrenfold {

class AppLogger {
 public:
  using Fields = std::map<std::string, std::string>;
  using Now = std::function<std::chrono::system_clock::time_point()>;

  AppLogger(AppPaths paths, std::shared_ptr<SystemLog> systemLog, Now now = {});
  ~AppLogger();  // writes what is queued, then stops the worker
  AppLogger(const AppLogger&) = delete;
  AppLogger& operator=(const AppLogger&) = delete;

  void info(std::string message);
  void error(std::string message);
  // "event" and "createdAt" replace caller fields of the same name.
  void event(std::string name, Fields fields);

  // Blocks until everything queued before this call is written (tests, orderly shutdown).
  void flush();

 private:
  struct Worker;
  std::unique_ptr<Worker> worker_;
};

}  // namespace wrenfold
