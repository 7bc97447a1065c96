#pragma once

#include <QScrollArea>
#include <functional>
#include <string>
#include <vector>

#include "core/templates/prompt_template.h"

class QHBoxLayout;

namespace wrenfold {

class EdgeFade;
class OverlayButton;

// One chip per template in list order, in a row that scrolls sideways without scroll bars (the
// wheel scrolls it too). The selected chip is drawn in the accent colour and kept in view.
class TemplateChips final : public QScrollArea {
 public:
  explicit TemplateChips(QWidget* parent = nullptr);

  // Rebuilds the chips only when the list differs from the one shown.
  void setTemplates(const std::vector<PromptTemplate>& templates);
  void setSelectedID(const std::string& id);
  // Chips cannot be pressed while the overlay is busy.
  void setBusy(bool busy);
  std::function<void(const PromptTemplate&)> onSelect;

  // The chip of the template with `id`; null when there is none.
  [[nodiscard]] OverlayButton* chip(const std::string& id) const;
  [[nodiscard]] QSize sizeHint() const override;

 protected:
  void wheelEvent(QWheelEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void rebuild();
  void updateFades();

  std::vector<PromptTemplate> templates_;
  std::vector<OverlayButton*> chips_;
  std::string selectedID_;
  bool busy_ = false;
  QWidget* row_;
  QHBoxLayout* rowLayout_;
  EdgeFade* leadingFade_;  // hints that more chips lie beyond either edge
  EdgeFade* trailingFade_;
};

}  // namespace wrenfold
