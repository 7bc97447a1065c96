#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "core/platform/accessibility.h"
#include "core/text/text.h"

namespace wrenfold::testing {

// A value as a test scripts it; any attribute may hold any type, so mistyped values can be
// tried (they read as absent through the typed port).
using FakeAXValue = std::variant<std::string, bool, AccessibilityElement, std::vector<AccessibilityElement>,
                                 TextRange, Point, Size>;

// An in-memory accessibility tree. Elements carry roles, attributes and children; writes are
// accepted unless the test rejects them, and accepted writes change the element as a real text
// field would (inserting at the selection, moving the caret).
class FakeAccessibility final : public Accessibility {
 public:
  FakeAccessibility() = default;
  // Elements refer to each other (children, window): the references go first, so no node
  // keeps another alive once the tree is gone.
  ~FakeAccessibility() override {
    for (const auto& node : nodes_) {
      node->attributes.clear();
    }
  }

  [[nodiscard]] bool isProcessTrusted() override { return trusted_; }
  void promptForTrust() override { ++trustPrompts_; }
  [[nodiscard]] std::optional<AccessibilityElement> applicationElement(std::int32_t processID) override {
    const auto found = applications_.find(processID);
    return found == applications_.end() ? std::nullopt : std::optional(handle(found->second));
  }
  [[nodiscard]] std::optional<std::string> stringAttribute(const AccessibilityElement& element,
                                                           AXAttribute attribute) override {
    return typed<std::string>(element, attribute);
  }
  [[nodiscard]] std::optional<bool> boolAttribute(const AccessibilityElement& element,
                                                  AXAttribute attribute) override {
    return typed<bool>(element, attribute);
  }
  [[nodiscard]] std::optional<AccessibilityElement> elementAttribute(const AccessibilityElement& element,
                                                                     AXAttribute attribute) override {
    return typed<AccessibilityElement>(element, attribute);
  }
  [[nodiscard]] std::optional<std::vector<AccessibilityElement>> elementListAttribute(
      const AccessibilityElement& element, AXAttribute attribute) override {
    return typed<std::vector<AccessibilityElement>>(element, attribute);
  }
  [[nodiscard]] std::optional<TextRange> rangeAttribute(const AccessibilityElement& element,
                                                        AXAttribute attribute) override {
    return typed<TextRange>(element, attribute);
  }
  [[nodiscard]] std::optional<Point> pointAttribute(const AccessibilityElement& element,
                                                    AXAttribute attribute) override {
    return typed<Point>(element, attribute);
  }
  [[nodiscard]] std::optional<Size> sizeAttribute(const AccessibilityElement& element,
                                                  AXAttribute attribute) override {
    return typed<Size>(element, attribute);
  }
  [[nodiscard]] WriteResult setString(const AccessibilityElement& element, AXAttribute attribute,
                                      std::string_view value) override {
    if (!record(element, attribute, std::string(value))) {
      return nodeOf(element).timingOut.contains(attribute) ? WriteResult::timedOut : WriteResult::refused;
    }
    auto& attributes = nodeOf(element).attributes;
    if (attribute == AXAttribute::selectedText) {
      insertAtSelection(attributes, value);
    } else if (attribute == AXAttribute::value) {
      attributes[AXAttribute::value] = std::string(value);
      attributes[AXAttribute::selectedTextRange] =
          TextRange{static_cast<std::int64_t>(text::utf16Length(value)), 0};
    } else {
      attributes[attribute] = std::string(value);
    }
    return WriteResult::written;
  }
  [[nodiscard]] bool setRange(const AccessibilityElement& element, AXAttribute attribute,
                              TextRange value) override {
    auto& attributes = nodeOf(element).attributes;
    if (const auto* text = std::get_if<std::string>(&attributes[AXAttribute::value])) {
      // A real field refuses a range outside its text.
      const auto length = static_cast<std::int64_t>(text::utf16Length(*text));
      if (value.location < 0 || value.length < 0 || value.location + value.length > length) {
        writes_.push_back({element, attribute, value});
        return false;
      }
    }
    if (!record(element, attribute, value)) {
      return false;
    }
    attributes[attribute] = value;
    return true;
  }
  [[nodiscard]] bool setBool(const AccessibilityElement& element, AXAttribute attribute,
                             bool value) override {
    if (!record(element, attribute, value)) {
      return false;
    }
    nodeOf(element).attributes[attribute] = value;
    return true;
  }
  [[nodiscard]] std::optional<std::string> takeApplicationNotice(std::int32_t processID) override {
    const auto found = notices_.find(processID);
    if (found == notices_.end()) {
      return std::nullopt;
    }
    auto notice = std::move(found->second);
    notices_.erase(found);
    return notice;
  }

  // --- test interface
  // A new element; with a non-empty role it gets "AXRole".
  AccessibilityElement addElement(const std::string& role = {}) {
    nodes_.push_back(std::make_shared<Node>(this, nodes_.size()));
    auto element = handle(nodes_.size() - 1);
    if (!role.empty()) {
      set(element, AXAttribute::role, role);
    }
    return element;
  }
  // A new element appended to `parent`'s children, with role and (when given) "AXValue".
  AccessibilityElement addChild(const AccessibilityElement& parent, const std::string& role,
                                std::optional<std::string> value = std::nullopt) {
    auto child = addElement(role);
    if (value) {
      set(child, AXAttribute::value, std::move(*value));
    }
    auto& children = nodeOf(parent).attributes[AXAttribute::children];
    if (!std::holds_alternative<std::vector<AccessibilityElement>>(children)) {
      children = std::vector<AccessibilityElement>{};
    }
    std::get<std::vector<AccessibilityElement>>(children).push_back(child);
    return child;
  }
  void set(const AccessibilityElement& element, AXAttribute attribute, FakeAXValue value) {
    nodeOf(element).attributes[attribute] = std::move(value);
  }
  void unset(const AccessibilityElement& element, AXAttribute attribute) {
    nodeOf(element).attributes.erase(attribute);
  }
  // Reads the stored value back, whatever its type.
  [[nodiscard]] std::optional<FakeAXValue> get(const AccessibilityElement& element,
                                               AXAttribute attribute) const {
    const auto& attributes = nodeOf(element).attributes;
    const auto found = attributes.find(attribute);
    return found == attributes.end() ? std::nullopt : std::optional(found->second);
  }
  void setFrame(const AccessibilityElement& element, Point position, Size size) {
    set(element, AXAttribute::position, position);
    set(element, AXAttribute::size, size);
  }
  void setApplication(std::int32_t processID, const AccessibilityElement& application) {
    applications_[processID] = nodeOf(application).index;
  }
  void setTrusted(bool trusted) { trusted_ = trusted; }
  [[nodiscard]] bool framesAreOnScreen() override { return framesOnScreen; }
  bool framesOnScreen = true;
  // The same for every element; absent: changes are not tracked.
  [[nodiscard]] std::optional<std::uint64_t> changeStamp(const AccessibilityElement&) override {
    return stamp;
  }
  std::optional<std::uint64_t> stamp;
  void rejectWrites(const AccessibilityElement& element, AXAttribute attribute) {
    nodeOf(element).rejected.insert(attribute);
  }
  // Text writes of `attribute` go unanswered and change nothing; a test lands them itself.
  void timeOutWrites(const AccessibilityElement& element, AXAttribute attribute) {
    nodeOf(element).rejected.insert(attribute);
    nodeOf(element).timingOut.insert(attribute);
  }
  void setApplicationNotice(std::int32_t processID, std::string notice) {
    notices_[processID] = std::move(notice);
  }
  // Called before every read (for example to let time pass while a walk runs).
  void onRead(std::function<void()> hook) { onRead_ = std::move(hook); }

  // Every write asked for, refused ones included.
  struct Write {
    AccessibilityElement element;
    AXAttribute attribute;
    FakeAXValue value;
  };
  [[nodiscard]] const std::vector<Write>& writes() const { return writes_; }
  [[nodiscard]] int trustPrompts() const { return trustPrompts_; }
  [[nodiscard]] std::size_t readCount() const { return readCount_; }

 private:
  struct Node final : AccessibilityElement::Node {
    Node(const FakeAccessibility* owner, std::size_t i) : fake(owner), index(i) {}
    [[nodiscard]] bool sameElement(const AccessibilityElement::Node& other) const override {
      const auto* node = dynamic_cast<const Node*>(&other);
      return node != nullptr && node->fake == fake && node->index == index;
    }
    const FakeAccessibility* fake;
    std::size_t index;
    std::map<AXAttribute, FakeAXValue> attributes;
    std::set<AXAttribute> rejected;
    std::set<AXAttribute> timingOut;
  };

  [[nodiscard]] Node& nodeOf(const AccessibilityElement& element) const {
    auto* node = element.as<Node>();
    if (node == nullptr || node->fake != this) {
      throw std::logic_error("element does not belong to this fake");
    }
    return *node;
  }
  [[nodiscard]] AccessibilityElement handle(std::size_t index) const {
    return AccessibilityElement(nodes_.at(index));
  }
  // The stored value when it has type T (as the port's typed reads see it), else absent.
  template <class T>
  [[nodiscard]] std::optional<T> typed(const AccessibilityElement& element, AXAttribute attribute) {
    ++readCount_;
    if (onRead_) {
      onRead_();
    }
    const auto& attributes = nodeOf(element).attributes;
    const auto found = attributes.find(attribute);
    const auto* value = found == attributes.end() ? nullptr : std::get_if<T>(&found->second);
    return value ? std::optional<T>(*value) : std::nullopt;
  }
  [[nodiscard]] bool record(const AccessibilityElement& element, AXAttribute attribute, FakeAXValue value) {
    writes_.push_back({element, attribute, std::move(value)});
    return !nodeOf(element).rejected.contains(attribute);
  }
  // Replaces the selection in "AXValue" with `text` and puts the caret after it, as a text
  // field does when its selected text is set.
  static void insertAtSelection(std::map<AXAttribute, FakeAXValue>& attributes, std::string_view text) {
    const auto* current = std::get_if<std::string>(&attributes[AXAttribute::value]);
    std::string value = current ? *current : std::string();
    const auto* selection = std::get_if<TextRange>(&attributes[AXAttribute::selectedTextRange]);
    const TextRange range =
        selection ? *selection : TextRange{static_cast<std::int64_t>(text::utf16Length(value)), 0};
    const auto begin = text::byteOffsetOfUtf16(value, static_cast<std::size_t>(range.location));
    const auto end = text::byteOffsetOfUtf16(value, static_cast<std::size_t>(range.location + range.length));
    const std::size_t from = begin.value_or(value.size());
    value.replace(from, end.value_or(value.size()) - from, text);
    attributes[AXAttribute::selectedTextRange] =
        TextRange{range.location + static_cast<std::int64_t>(text::utf16Length(text)), 0};
    attributes[AXAttribute::value] = std::move(value);
    attributes[AXAttribute::selectedText] = std::string();
  }

  std::vector<std::shared_ptr<Node>> nodes_;
  std::map<std::int32_t, std::size_t> applications_;
  std::map<std::int32_t, std::string> notices_;
  bool trusted_ = true;
  int trustPrompts_ = 0;
  std::size_t readCount_ = 0;
  std::function<void()> onRead_;
  std::vector<Write> writes_;
};

}  // namespace wrenfold::testing
