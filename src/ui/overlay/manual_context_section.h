#pragma once

#include <QTextEdit>
#include <QWidget>
#include <functional>
#include <string>

namespace wrenfold {

class DisclosureSection;

// The pasted-context field: plain text only, three to six lines high, growing with its text.
class ManualContextField final : public QTextEdit {
 public:
  static constexpr int kMinLines = 3;
  static constexpr int kMaxLines = 6;

  explicit ManualContextField(QWidget* parent = nullptr);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void fitHeight();
};

// "补充上下文": context the reading missed, pasted by the user. The group opens by itself
// whenever the text changes to something that is not blank.
class ManualContextSection final : public QWidget {
 public:
  explicit ManualContextSection(QWidget* parent = nullptr);

  void setText(const std::string& text);
  std::function<void(std::string)> onEdited;

  [[nodiscard]] DisclosureSection& disclosure() { return *disclosure_; }
  [[nodiscard]] ManualContextField& field() { return *field_; }

 private:
  DisclosureSection* disclosure_;
  ManualContextField* field_;
  std::string shown_;
  bool settingText_ = false;  // the model's own text is not reported back as an edit
};

}  // namespace wrenfold
