#pragma once

#include <QTextEdit>
#include <QWidget>
#include <optional>
#include <string>

#include "core/records/image.h"

class QLabel;

namespace wrenfold {

class DisclosureSection;
class ScreenshotPreview;
class SymbolView;

// The captured context's details text: selectable, as tall as its text up to 160, then it
// scrolls; drawn on the text background at 72 % with rounded corners.
class ContextDetailsView final : public QTextEdit {
 public:
  static constexpr int kMaxHeight = 160;
  static constexpr int kPadding = 8;

  explicit ContextDetailsView(QWidget* parent = nullptr);
  void setText(const QString& text);

 protected:
  bool event(QEvent* event) override;
  void changeEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void fitHeight();

  QString shown_;
};

// "查看上下文": what was captured — the window screenshot, the screenshot warning and the
// details text — behind a disclosure that starts collapsed.
class ContextSection final : public QWidget {
 public:
  explicit ContextSection(QWidget* parent = nullptr);

  void setScreenshot(const std::optional<Image>& screenshot);
  void setWarning(const std::optional<std::string>& warning);
  void setDetails(const std::string& details);

  [[nodiscard]] DisclosureSection& disclosure() { return *disclosure_; }
  [[nodiscard]] ScreenshotPreview& preview() { return *preview_; }
  [[nodiscard]] QLabel& warningText() { return *warningText_; }
  [[nodiscard]] ContextDetailsView& details() { return *details_; }

 private:
  DisclosureSection* disclosure_;
  ScreenshotPreview* preview_;
  QWidget* warningRow_;
  QLabel* warningText_;
  ContextDetailsView* details_;
};

}  // namespace wrenfold
