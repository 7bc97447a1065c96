#pragma once

// Tests drive the core's standard-library main queue on their own thread: `post` and
// `postAfter` enqueue from any thread, `runUntil` drains on the test's thread.
#include "core/platform/run_loop_main_queue.h"

namespace wrenfold::testing {

using BlockingMainQueue = RunLoopMainQueue;

}  // namespace wrenfold::testing
