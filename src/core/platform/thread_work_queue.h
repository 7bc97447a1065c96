#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "core/platform/work_queue.h"

namespace wrenfold {

// A WorkQueue backed by one serial worker thread. The destructor lets the queued tasks finish,
// then joins the thread, so the objects the tasks use must outlive this queue.
class ThreadWorkQueue final : public WorkQueue {
 public:
  ThreadWorkQueue();
  ~ThreadWorkQueue() override;

  void run(Task task) override;

 private:
  void loop();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Task> tasks_;
  bool stopping_ = false;
  std::thread thread_;  // last: starts after the members it uses exist
};

}  // namespace wrenfold
