#include "fakes/fake_accessibility.h"

#include <stdexcept>
#include <type_traits>
#include <utility>

#include "core/text/text.h"

namespace wrenfold::testing {

struct FakeAccessibility::Node final : AccessibilityElement::Node {
  Node(const FakeAccessibility* owner, std::size_t i) : fake(owner), index(i) {}
  [[nodiscard]] bool sameElement(const AccessibilityElement::Node& other) const override {
    const auto* node = dynamic_cast<const Node*>(&other);
    return node != nullptr && node->fake == fake && node->index == index;
  }
  const FakeAccessibility* fake;
  std::size_t index;
  std::map<AXAttribute, Stored> attributes;
  std::set<AXAttribute> rejected;
};

std::optional<AccessibilityElement> FakeAccessibility::applicationElement(std::int32_t processID) {
  const auto found = applications_.find(processID);
  if (found == applications_.end()) {
    return std::nullopt;
  }
  return handle(found->second);
}

FakeAccessibility::Node& FakeAccessibility::nodeOf(const AccessibilityElement& element) const {
  auto* node = element.as<Node>();
  if (node == nullptr || node->fake != this) {
    throw std::logic_error("element does not belong to this fake");
  }
  return *node;
}

AccessibilityElement FakeAccessibility::handle(std::size_t index) const {
  return AccessibilityElement(nodes_.at(index));
}

const FakeAccessibility::Stored* FakeAccessibility::read(const AccessibilityElement& element,
                                                         AXAttribute attribute) {
  ++readCount_;
  if (onRead_) {
    onRead_();
  }
  auto& attributes = nodeOf(element).attributes;
  const auto found = attributes.find(attribute);
  return found == attributes.end() ? nullptr : &found->second;
}

bool FakeAccessibility::record(const AccessibilityElement& element, AXAttribute attribute,
                               FakeAXValue value) {
  const bool accepted = !nodeOf(element).rejected.contains(attribute);
  writes_.push_back({element, attribute, std::move(value), accepted});
  return accepted;
}

// Replaces the selection in "AXValue" with `text` and puts the caret after it, as a text
// field does when its selected text is set.
void FakeAccessibility::insertAtSelection(Node& node, std::string_view text) {
  auto& attributes = node.attributes;
  std::string value;
  if (const auto* current = std::get_if<std::string>(&attributes[AXAttribute::value])) {
    value = *current;
  }
  const auto length = static_cast<std::int64_t>(text::utf16Length(value));
  TextRange range{length, 0};
  if (const auto* selection = std::get_if<TextRange>(&attributes[AXAttribute::selectedTextRange])) {
    range = *selection;
  }
  const auto begin = text::byteOffsetOfUtf16(value, static_cast<std::size_t>(range.location));
  const auto end = text::byteOffsetOfUtf16(value, static_cast<std::size_t>(range.location + range.length));
  const std::size_t from = begin.value_or(value.size());
  const std::size_t to = end.value_or(value.size());
  value.replace(from, to - from, text);
  const auto caret = range.location + static_cast<std::int64_t>(text::utf16Length(text));
  attributes[AXAttribute::value] = value;
  attributes[AXAttribute::selectedTextRange] = TextRange{caret, 0};
  attributes[AXAttribute::selectedText] = std::string();
}

bool FakeAccessibility::setString(const AccessibilityElement& element, AXAttribute attribute,
                                  std::string_view value) {
  if (!record(element, attribute, std::string(value))) {
    return false;
  }
  auto& node = nodeOf(element);
  if (attribute == AXAttribute::selectedText) {
    insertAtSelection(node, value);
  } else if (attribute == AXAttribute::value) {
    node.attributes[AXAttribute::value] = std::string(value);
    node.attributes[AXAttribute::selectedTextRange] =
        TextRange{static_cast<std::int64_t>(text::utf16Length(value)), 0};
  } else {
    node.attributes[attribute] = std::string(value);
  }
  return true;
}

bool FakeAccessibility::setRange(const AccessibilityElement& element, AXAttribute attribute,
                                 TextRange value) {
  auto& node = nodeOf(element);
  if (const auto* text = std::get_if<std::string>(&node.attributes[AXAttribute::value])) {
    // A real field refuses a range outside its text.
    const auto length = static_cast<std::int64_t>(text::utf16Length(*text));
    if (value.location < 0 || value.length < 0 || value.location + value.length > length) {
      writes_.push_back({element, attribute, value, false});
      return false;
    }
  }
  if (!record(element, attribute, value)) {
    return false;
  }
  node.attributes[attribute] = value;
  return true;
}

bool FakeAccessibility::setBool(const AccessibilityElement& element, AXAttribute attribute, bool value) {
  if (!record(element, attribute, value)) {
    return false;
  }
  nodeOf(element).attributes[attribute] = value;
  return true;
}

std::optional<std::string> FakeAccessibility::takeApplicationNotice(std::int32_t processID) {
  const auto found = notices_.find(processID);
  if (found == notices_.end()) {
    return std::nullopt;
  }
  auto notice = std::move(found->second);
  notices_.erase(found);
  return notice;
}

AccessibilityElement FakeAccessibility::addElement(const std::string& role) {
  nodes_.push_back(std::make_shared<Node>(this, nodes_.size()));
  auto element = handle(nodes_.size() - 1);
  if (!role.empty()) {
    set(element, AXAttribute::role, role);
  }
  return element;
}

AccessibilityElement FakeAccessibility::addChild(const AccessibilityElement& parent, const std::string& role,
                                                 std::optional<std::string> value) {
  auto child = addElement(role);
  if (value) {
    set(child, AXAttribute::value, std::move(*value));
  }
  auto& children = nodeOf(parent).attributes[AXAttribute::children];
  if (!std::holds_alternative<std::vector<ElementRef>>(children)) {
    children = std::vector<ElementRef>{};
  }
  std::get<std::vector<ElementRef>>(children).push_back({nodeOf(child).index});
  return child;
}

FakeAccessibility::Stored FakeAccessibility::toStored(const FakeAXValue& value) const {
  return std::visit(
      [this](const auto& v) -> Stored {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, AccessibilityElement>) {
          return ElementRef{nodeOf(v).index};
        } else if constexpr (std::is_same_v<T, std::vector<AccessibilityElement>>) {
          std::vector<ElementRef> refs;
          for (const auto& element : v) {
            refs.push_back({nodeOf(element).index});
          }
          return refs;
        } else {
          return v;
        }
      },
      value);
}

FakeAXValue FakeAccessibility::toFake(const Stored& value) const {
  return std::visit(
      [this](const auto& v) -> FakeAXValue {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, ElementRef>) {
          return handle(v.index);
        } else if constexpr (std::is_same_v<T, std::vector<ElementRef>>) {
          std::vector<AccessibilityElement> elements;
          for (const auto ref : v) {
            elements.push_back(handle(ref.index));
          }
          return elements;
        } else {
          return v;
        }
      },
      value);
}

void FakeAccessibility::set(const AccessibilityElement& element, AXAttribute attribute, FakeAXValue value) {
  nodeOf(element).attributes[attribute] = toStored(value);
}

void FakeAccessibility::unset(const AccessibilityElement& element, AXAttribute attribute) {
  nodeOf(element).attributes.erase(attribute);
}

std::optional<FakeAXValue> FakeAccessibility::get(const AccessibilityElement& element,
                                                  AXAttribute attribute) const {
  const auto& attributes = nodeOf(element).attributes;
  const auto found = attributes.find(attribute);
  return found == attributes.end() ? std::nullopt : std::optional(toFake(found->second));
}

void FakeAccessibility::setApplication(std::int32_t processID, const AccessibilityElement& application) {
  applications_[processID] = nodeOf(application).index;
}

void FakeAccessibility::rejectWrites(const AccessibilityElement& element, AXAttribute attribute) {
  nodeOf(element).rejected.insert(attribute);
}

}  // namespace wrenfold::testing
