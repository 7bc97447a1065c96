#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "core/platform/accessibility.h"

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
  [[nodiscard]] bool isProcessTrusted() override { return trusted_; }
  void promptForTrust() override { ++trustPrompts_; }
  [[nodiscard]] std::optional<AccessibilityElement> applicationElement(std::int32_t processID) override;
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
  [[nodiscard]] bool setString(const AccessibilityElement& element, AXAttribute attribute,
                               std::string_view value) override;
  [[nodiscard]] bool setRange(const AccessibilityElement& element, AXAttribute attribute,
                              TextRange value) override;
  [[nodiscard]] bool setBool(const AccessibilityElement& element, AXAttribute attribute, bool value) override;
  [[nodiscard]] std::optional<std::string> takeApplicationNotice(std::int32_t processID) override;

  // --- test interface
  // A new element; with a non-empty role it gets "AXRole".
  AccessibilityElement addElement(const std::string& role = {});
  // A new element appended to `parent`'s children, with role and (when given) "AXValue".
  AccessibilityElement addChild(const AccessibilityElement& parent, const std::string& role,
                                std::optional<std::string> value = std::nullopt);
  void set(const AccessibilityElement& element, AXAttribute attribute, FakeAXValue value);
  void unset(const AccessibilityElement& element, AXAttribute attribute);
  // Reads the stored value back, whatever its type.
  [[nodiscard]] std::optional<FakeAXValue> get(const AccessibilityElement& element,
                                               AXAttribute attribute) const;
  void setFrame(const AccessibilityElement& element, Point position, Size size) {
    set(element, AXAttribute::position, position);
    set(element, AXAttribute::size, size);
  }
  void setApplication(std::int32_t processID, const AccessibilityElement& application);
  void setTrusted(bool trusted) { trusted_ = trusted; }
  [[nodiscard]] bool framesAreOnScreen() override { return framesOnScreen; }
  bool framesOnScreen = true;
  void rejectWrites(const AccessibilityElement& element, AXAttribute attribute);
  void setApplicationNotice(std::int32_t processID, std::string notice) {
    notices_[processID] = std::move(notice);
  }
  // Called before every read (for example to let time pass while a walk runs).
  void onRead(std::function<void()> hook) { onRead_ = std::move(hook); }

  struct Write {
    AccessibilityElement element;
    AXAttribute attribute;
    FakeAXValue value;
    bool accepted;
  };
  [[nodiscard]] const std::vector<Write>& writes() const { return writes_; }
  [[nodiscard]] int trustPrompts() const { return trustPrompts_; }
  [[nodiscard]] std::size_t readCount() const { return readCount_; }

 private:
  struct Node;
  struct ElementRef {
    std::size_t index;
  };
  // Stored form: element references by index, so the tree holds no ownership cycles.
  using Stored = std::variant<std::string, bool, ElementRef, std::vector<ElementRef>, TextRange, Point, Size>;

  [[nodiscard]] Node& nodeOf(const AccessibilityElement& element) const;
  [[nodiscard]] const Stored* read(const AccessibilityElement& element, AXAttribute attribute);
  // The stored value when it has type T (as the port's typed reads see it), else absent.
  template <class T>
  [[nodiscard]] std::optional<T> typed(const AccessibilityElement& element, AXAttribute attribute) {
    const auto* value = read(element, attribute);
    const auto fake = value ? std::optional(toFake(*value)) : std::nullopt;
    const auto* typedValue = fake ? std::get_if<T>(&*fake) : nullptr;
    return typedValue ? std::optional<T>(*typedValue) : std::nullopt;
  }
  [[nodiscard]] AccessibilityElement handle(std::size_t index) const;
  [[nodiscard]] Stored toStored(const FakeAXValue& value) const;
  [[nodiscard]] FakeAXValue toFake(const Stored& value) const;
  [[nodiscard]] bool record(const AccessibilityElement& element, AXAttribute attribute, FakeAXValue value);
  void insertAtSelection(Node& node, std::string_view text);

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
