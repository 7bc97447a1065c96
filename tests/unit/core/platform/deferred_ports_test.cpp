#include "core/platform/deferred_ports.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "fakes/fake_key_events.h"
#include "fakes/manual_main_queue.h"

namespace wrenfold {
namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

// Keys asked for before the desktop's portal has answered wait for the back-end chosen then, in
// order; past the bound they are refused, and nothing reaches a back-end chosen later.
TEST(DeferredKeyEvents, ChordsWaitForTheChosenBackEndAndAreRefusedPastTheBound) {
  for (const bool answeredInTime : {true, false}) {
    testing::ManualClock clock;
    testing::ManualMainQueue queue{clock};
    DeferredKeyEvents keys(queue, 2s);
    Strings results;
    keys.whenReady([&](bool ready) { results.emplace_back(ready ? "ready" : "not ready"); });
    keys.postThen(KeyChord::paste(), [&](KeyPostResult r) {
      results.emplace_back(r == KeyPostResult::posted ? "posted" : "refused");
    });
    EXPECT_EQ(keys.post(KeyChord::paste()), KeyPostResult::retry);
    queue.advance(answeredInTime ? 1s : 3s);
    auto chosen = std::make_unique<testing::FakeKeyEvents>();
    auto* backEnd = chosen.get();
    keys.choose(std::move(chosen));
    queue.advance(3s);
    EXPECT_EQ(results, (answeredInTime ? Strings{"ready", "posted"} : Strings{"not ready", "refused"}));
    EXPECT_EQ(backEnd->posted(), (answeredInTime ? Strings{"ctrl+v"} : Strings{}));
  }
}

}  // namespace
}  // namespace wrenfold
