#include "core/support/app_logger.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <variant>

#include "core/support/file_io.h"
#include "core/support/json.h"
#include "core/support/time.h"
#include "core/text/text.h"

namespace wrenfold {
namespace {

struct TextLine {
  std::string line;  // "timestamp LEVEL message", without the line feed
};

struct EventRecord {
  AppLogger::Fields fields;  // already holds "event" and "createdAt"
};

using Job = std::variant<TextLine, EventRecord>;

}  // namespace

struct AppLogger::Worker {
  Worker(AppPaths appPaths, std::shared_ptr<SystemLog> log, Now clock)
      : paths(std::move(appPaths)), systemLog(std::move(log)), now(std::move(clock)) {}

  AppPaths paths;
  std::shared_ptr<SystemLog> systemLog;
  Now now;

  std::mutex mutex;
  std::condition_variable wake;     // the worker waits here for jobs or the stop request
  std::condition_variable drained;  // flush() waits here for the worker to catch up
  std::deque<Job> queue;
  std::uint64_t queued = 0;
  std::uint64_t written = 0;
  bool stopping = false;
  bool running = false;
  std::thread thread;

  void start();
  void stop();
  void log(LogLevel level, std::string_view levelWord, std::string message) noexcept;
  void enqueue(Job job);
  void waitUntilWritten();
  void run();
  void process(const Job& job);
  void writeLine(const TextLine& job);
  void writeEvent(const EventRecord& job);
  void report(std::string_view prefix, std::string_view description) noexcept;
};

void AppLogger::Worker::start() {
  try {
    thread = std::thread([this] { run(); });
    running = true;
  } catch (const std::exception&) {
    report("file log failed: ", "无法启动日志线程");
  }
}

void AppLogger::Worker::stop() {
  {
    std::lock_guard lock(mutex);
    stopping = true;
  }
  wake.notify_one();
  if (thread.joinable()) {
    thread.join();
  }
}

// The system log first, on the caller's thread, so the message survives a file failure.
void AppLogger::Worker::log(LogLevel level, std::string_view levelWord, std::string message) noexcept {
  try {
    systemLog->write(level, message);
    std::string line = timefmt::iso8601(now());
    line.append(levelWord).append(message);
    enqueue(TextLine{std::move(line)});
  } catch (...) {
    // Logging never fails towards its caller.
  }
}

void AppLogger::Worker::enqueue(Job job) {
  bool wasEmpty = false;
  {
    std::lock_guard lock(mutex);
    if (!running) {
      return;  // no worker: the system log already has the message
    }
    wasEmpty = queue.empty();
    queue.push_back(std::move(job));
    ++queued;
  }
  if (wasEmpty) {  // the worker only sleeps on an empty queue
    wake.notify_one();
  }
}

void AppLogger::Worker::waitUntilWritten() {
  std::unique_lock lock(mutex);
  const std::uint64_t ticket = queued;
  drained.wait(lock, [&] { return written >= ticket; });
}

void AppLogger::Worker::run() {
  std::unique_lock lock(mutex);
  for (;;) {
    wake.wait(lock, [&] { return stopping || !queue.empty(); });
    if (queue.empty()) {
      return;  // stopping, and everything queued is written
    }
    // Take the whole backlog at once so callers rarely meet the worker at the lock.
    std::deque<Job> batch;
    batch.swap(queue);
    lock.unlock();
    for (const Job& job : batch) {
      process(job);
    }
    lock.lock();
    written += batch.size();
    drained.notify_all();
  }
}

void AppLogger::Worker::process(const Job& job) {
  const bool isEvent = std::holds_alternative<EventRecord>(job);
  try {
    if (isEvent) {
      writeEvent(std::get<EventRecord>(job));
    } else {
      writeLine(std::get<TextLine>(job));
    }
  } catch (const std::exception& e) {
    report(isEvent ? "event log failed: " : "file log failed: ", e.what());
  }
}

void AppLogger::Worker::writeLine(const TextLine& job) {
  auto appended = paths.ensureDirectories();
  if (appended) {
    appended = files::appendLine(paths.logURL(), job.line);
  }
  if (!appended) {
    report("file log failed: ", appended.error().localizedDescription());
  }
}

void AppLogger::Worker::writeEvent(const EventRecord& job) {
  if (auto ready = paths.ensureDirectories(); !ready) {
    report("event log failed: ", ready.error().localizedDescription());
    return;
  }
  json::Json object = json::Json::object();
  for (const auto& [key, value] : job.fields) {
    // Invalid UTF-8 from the outside world must not cost the whole line.
    object[text::repairUtf8(key)] = text::repairUtf8(value);
  }
  const std::string line = json::dumpCompact(object);
  if (line.empty()) {
    report("event log failed: ", "无法序列化事件");
    return;
  }
  if (auto appended = files::appendLine(paths.localEventsURL(), line); !appended) {
    report("event log failed: ", appended.error().localizedDescription());
  }
}

void AppLogger::Worker::report(std::string_view prefix, std::string_view description) noexcept {
  try {
    systemLog->write(LogLevel::error, std::string(prefix) + std::string(description));
  } catch (...) {
    // Nowhere left to report to.
  }
}

AppLogger::AppLogger(AppPaths paths, std::shared_ptr<SystemLog> systemLog, Now now) {
  if (!systemLog) {
    systemLog = makeSyslog();
  }
  if (!now) {
    now = [] { return std::chrono::system_clock::now(); };
  }
  worker_ = std::make_unique<Worker>(std::move(paths), std::move(systemLog), std::move(now));
  worker_->start();
}

AppLogger::~AppLogger() {
  worker_->stop();
}

void AppLogger::info(std::string message) {
  worker_->log(LogLevel::info, " INFO ", std::move(message));
}

void AppLogger::error(std::string message) {
  worker_->log(LogLevel::error, " ERROR ", std::move(message));
}

void AppLogger::event(std::string name, Fields fields) {
  try {
    fields.insert_or_assign("event", std::move(name));
    fields.insert_or_assign("createdAt", timefmt::iso8601(worker_->now()));
    worker_->enqueue(EventRecord{std::move(fields)});
  } catch (...) {
    // Logging never fails towards its caller.
  }
}

void AppLogger::flush() {
  try {
    worker_->waitUntilWritten();
  } catch (...) {
    // A failed wait only means the caller does not wait.
  }
}

}  // namespace wrenfold
