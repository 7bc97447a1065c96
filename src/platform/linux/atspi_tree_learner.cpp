#include "platform/linux/atspi_tree_learner.h"

#include <algorithm>

#include "core/text/text.h"
#include "platform/linux/atspi_roles.h"

namespace wrenfold {
namespace {

// An application with more elements than this is read element by element.
constexpr std::size_t kMaxTreeItems = 10000;

[[nodiscard]] bool isNamedByText(const TreeItem& item) {
  return item.role == ATSPI_ROLE_LABEL && item.hasText && !item.hasEditableText;
}

// What a value read makes of a label's text.
[[nodiscard]] std::string labelText(std::string_view name) {
  std::string text = text::repairUtf8(name);
  constexpr std::string_view kObjectReplacement = "\xEF\xBF\xBC";
  for (auto at = text.find(kObjectReplacement); at != std::string::npos;
       at = text.find(kObjectReplacement, at)) {
    text.erase(at, kObjectReplacement.size());
  }
  return text;
}

}  // namespace

void AtspiTreeLearner::learn(AtspiAccessible* application) {
  const std::string bus(applicationBusName(application));
  AtspiReadCache& cache = session_.cache();
  if (bus.empty() || !cache.isListening() || learnt_.contains(bus)) {
    return;
  }
  const auto items = session_.calls().tree(application);
  // An application still starting may list only itself: it is asked again. (Qt answers
  // with no items at all: it keeps no such list.)
  if (!items || items->size() != 1) {
    learnt_.insert(bus);
  }
  if (!items || items->size() > kMaxTreeItems) {
    return;
  }
  Objects objects;
  objects.reserve(items->size());
  for (const auto& item : *items) {
    GObjectPtr<AtspiAccessible> object(refObject(bus, item.path));
    if (!object) {
      return;  // this libatspi cannot share its objects
    }
    objects.insert_or_assign(item.path, std::move(object));
  }
  IndexedChildren indexedChildren;
  for (const auto& item : *items) {
    if (!item.children && !item.parentPath.empty() && item.indexInParent >= 0) {
      indexedChildren[item.parentPath].emplace_back(item.indexInParent, objects.at(item.path).get());
    }
  }
  const bool namesAreText = labelsNamedByText(*items, objects);
  for (const auto& item : *items) {
    const AtspiStates states(item.states);
    if (item.role == ATSPI_ROLE_INVALID || states.has(ATSPI_STATE_DEFUNCT)) {
      continue;
    }
    AtspiAccessible* object = objects.at(item.path).get();
    session_.calls().rememberRole(object, item.role);
    if (roleNeedsStates(item.role)) {
      if (auto* entry = cache.entry(object)) {
        entry->roleStates = RoleStates{states.has(ATSPI_STATE_EDITABLE), states.has(ATSPI_STATE_MULTI_LINE)};
      }
    }
    if (namesAreText && isNamedByText(item)) {
      if (auto* entry = cache.entry(object)) {
        entry->text = labelText(item.name);
      }
    }
    if (auto list = childrenOf(item, objects, indexedChildren)) {
      cache.keepChildren(object, std::move(*list));
    }
  }
}

// Whether the application names its labels by their text (GTK 3 does unless told otherwise),
// checked on its first and last labels that have a name.
bool AtspiTreeLearner::labelsNamedByText(const std::vector<TreeItem>& items, const Objects& objects) {
  std::vector<const TreeItem*> samples;
  for (const auto& item : items) {
    if (isNamedByText(item) && !item.name.empty()) {
      if (samples.size() < 2) {
        samples.push_back(&item);
      } else {
        samples.back() = &item;
      }
    }
  }
  if (samples.empty()) {
    return false;
  }
  for (const TreeItem* sample : samples) {
    AtspiAccessible* object = objects.at(sample->path).get();
    const auto text = session_.calls().text(object, 0, -1);
    if (!text || labelText(*text) != labelText(sample->name)) {
      return false;
    }
  }
  return true;
}

// The children the tree tells for `item`, complete and in order; absent when it does not tell
// them all.
std::optional<std::vector<AccessibilityElement>> AtspiTreeLearner::childrenOf(
    const TreeItem& item, const Objects& objects, IndexedChildren& indexedChildren) const {
  // Tables and long lists manage their own children: the tree holds only some of them.
  if (item.childCount < 0 || item.childCount > session_.childrenLimit() ||
      AtspiStates(item.states).has(ATSPI_STATE_MANAGES_DESCENDANTS)) {
    return std::nullopt;
  }
  std::vector<AccessibilityElement> list;
  list.reserve(static_cast<std::size_t>(item.childCount));
  if (item.children) {
    for (const auto& path : *item.children) {
      const auto found = objects.find(path);
      if (found == objects.end()) {
        return std::nullopt;
      }
      list.push_back(*elementFor(retained(found->second.get())));
    }
    return list;
  }
  auto& indexed = indexedChildren[item.path];
  if (static_cast<int>(indexed.size()) != item.childCount) {
    return std::nullopt;
  }
  std::sort(indexed.begin(), indexed.end());
  for (std::size_t i = 0; i < indexed.size(); ++i) {
    if (indexed[i].first != static_cast<int>(i)) {
      return std::nullopt;
    }
    list.push_back(*elementFor(retained(indexed[i].second)));
  }
  return list;
}

}  // namespace wrenfold
