#include "ui/settings/file_notices_view.h"

#include <QVBoxLayout>

#include "ui/common/style.h"
#include "ui/settings/status_label.h"

namespace wrenfold {

FileNoticesView::FileNoticesView(QWidget* parent) : QWidget(parent), layout_(new QVBoxLayout(this)) {
  layout_->setContentsMargins(0, 0, 0, 0);
  layout_->setSpacing(6);
  setVisible(false);
}

void FileNoticesView::setNotices(const std::vector<std::string>& notices) {
  if (notices == notices_) {
    return;
  }
  notices_ = notices;
  while (QLayoutItem* item = layout_->takeAt(0)) {
    delete item->widget();
    delete item;
  }
  for (const std::string& notice : notices_) {
    auto* line = new StatusLabel(this);
    line->setContent("exclamationmark.triangle.fill", QString::fromStdString(notice), &style::warning);
    layout_->addWidget(line);
  }
  setVisible(!notices_.empty());
}

}  // namespace wrenfold
