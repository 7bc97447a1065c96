#pragma once

// Learns an application's whole tree in one call the first time it is read: children, roles,
// the states that decide a role, and the text of labels where the toolkit names labels by their
// text, all kept in the session's caches. Whatever the call does not tell is asked element by
// element. Main thread only.

#include <atspi/atspi.h>

#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/linux/atspi_session.h"

namespace wrenfold {

class AtspiTreeLearner {
 public:
  explicit AtspiTreeLearner(AtspiSession& session) : session_(session) {}

  // Learns the tree of the application `application` belongs to, once per application.
  void learn(AtspiAccessible* application);

 private:
  using Objects = std::unordered_map<std::string, GObjectPtr<AtspiAccessible>>;
  using IndexedChildren = std::unordered_map<std::string, std::vector<std::pair<int, AtspiAccessible*>>>;

  [[nodiscard]] bool labelsNamedByText(const std::vector<TreeItem>& items, const Objects& objects);
  [[nodiscard]] std::optional<std::vector<AccessibilityElement>> childrenOf(
      const TreeItem& item, const Objects& objects, IndexedChildren& indexedChildren) const;

  AtspiSession& session_;
  std::set<std::string, std::less<>> learnt_;  // application bus names
};

}  // namespace wrenfold
