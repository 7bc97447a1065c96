#include "platform/linux/atspi_session.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>

namespace wrenfold {
namespace {

using std::chrono::steady_clock;

constexpr auto kReconnectPause = std::chrono::seconds(2);

// libatspi looks at AT_SPI_BUS_ADDRESS before the X root property, which a desktop that has
// since ended may have left behind: it must reach the bus that just answered. The variable is
// put back at once: Qt applications started from here with it inherited exposed nothing.
void initialiseAtspi(const std::string& address) {
  const char* inherited = std::getenv("AT_SPI_BUS_ADDRESS");
  const std::optional<std::string> previous =
      inherited ? std::optional<std::string>(inherited) : std::nullopt;
  ::setenv("AT_SPI_BUS_ADDRESS", address.c_str(), 1);
  atspi_init();
  if (previous) {
    ::setenv("AT_SPI_BUS_ADDRESS", previous->c_str(), 1);
  } else {
    ::unsetenv("AT_SPI_BUS_ADDRESS");
  }
}

}  // namespace

AtspiSession::AtspiSession(const AtspiOptions& options)
    : calls_(AtspiCalls::Limits{options.hangTimeout, options.hungPause, options.writeTimeout}),
      text_(calls_),
      focus_(calls_, tracker_, options.focusSearchLimit,
             [this](AtspiAccessible* object) { return children(object); }),
      childrenLimit_(options.childrenLimit) {}

AtspiReadCache::Entry* AtspiSession::known(AtspiAccessible* object) {
  return calls_.available(object) ? cache_.find(object) : nullptr;
}

std::optional<std::vector<AccessibilityElement>> AtspiSession::children(AtspiAccessible* object) {
  if (const auto* entry = known(object); entry && entry->children) {
    return entry->children;
  }
  const auto count = calls_.childCount(object);
  if (!count) {
    return std::nullopt;
  }
  std::vector<AccessibilityElement> list;
  const int listed = std::min(*count, childrenLimit_);
  list.reserve(static_cast<std::size_t>(listed));
  for (int i = 0; i < listed; ++i) {
    if (auto child = elementFor(calls_.child(object, i))) {
      list.push_back(std::move(*child));
    }
  }
  // A list with holes (a child vanished, the application stopped answering) is not kept.
  if (static_cast<int>(list.size()) == listed) {
    cache_.keepChildren(object, list);
  }
  return list;
}

AtspiSession* AtspiConnector::session() {
  if (session_ || steady_clock::now() < nextConnect_) {
    return session_.get();
  }
  nextConnect_ = steady_clock::now() + kReconnectPause;
  const auto address = status_.busAddress();
  if (!address) {
    return nullptr;
  }
  initialiseAtspi(*address);
  session_ = std::make_unique<AtspiSession>(options_);
  return session_.get();
}

bool AtspiConnector::enable() {
  if (!status_.enable()) {
    return false;
  }
  nextConnect_ = {};  // the bus just answered: no pause before using it
  static_cast<void>(session());
  return true;
}

}  // namespace wrenfold
