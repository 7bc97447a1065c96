#include "ui/settings/save_status_view.h"

#include "ui/common/style.h"

namespace wrenfold {

SaveStatusView::SaveStatusView(Shows shows, QWidget* parent) : StatusLabel(parent), shows_(shows) {
  setStatus(SaveStatus::idle());
}

void SaveStatusView::setStatus(const SaveStatus& status) {
  switch (status.kind) {
    case SaveStatus::Kind::idle:
      setVisible(false);
      return;
    case SaveStatus::Kind::saved:
      setContent("checkmark.circle.fill", QStringLiteral("已保存"), &successTone);
      setVisible(shows_ == Shows::savedAndFailed);
      return;
    case SaveStatus::Kind::failed:
      setContent("exclamationmark.triangle.fill", QString::fromStdString(status.message), &style::warning);
      setVisible(true);
      return;
  }
}

}  // namespace wrenfold
