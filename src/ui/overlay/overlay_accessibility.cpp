#include "ui/overlay/overlay_accessibility.h"

#include <QAccessibleWidget>
#include <mutex>

#include "ui/overlay/candidate_row.h"
#include "ui/overlay/disclosure_section.h"

namespace wrenfold {
namespace {

QString selectAction() {
  return QString::fromUtf8(kSelectActionName);
}

class CandidateRowAccessible final : public QAccessibleWidget {
 public:
  explicit CandidateRowAccessible(CandidateRow* row) : QAccessibleWidget(row, QAccessible::ListItem) {}

  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    s.selectable = true;
    s.selected = row()->isSelected();
    return s;
  }

  QStringList actionNames() const override { return QAccessibleWidget::actionNames() << selectAction(); }

  QString localizedActionName(const QString& name) const override {
    return name == selectAction() ? name : QAccessibleWidget::localizedActionName(name);
  }

  void doAction(const QString& name) override {
    if (name == selectAction()) {
      if (row()->onSelect) {
        row()->onSelect();
      }
      return;
    }
    QAccessibleWidget::doAction(name);
  }

 private:
  CandidateRow* row() const { return static_cast<CandidateRow*>(widget()); }
};

class DisclosureButtonAccessible final : public QAccessibleWidget {
 public:
  explicit DisclosureButtonAccessible(DisclosureButton* button)
      : QAccessibleWidget(button, QAccessible::Button) {}

  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Name && button()->accessibleName().isEmpty()) {
      return button()->text();
    }
    return QAccessibleWidget::text(t);
  }

  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    s.expandable = true;
    s.expanded = button()->isChecked();
    s.collapsed = !button()->isChecked();
    return s;
  }

  QStringList actionNames() const override { return QAccessibleWidget::actionNames() << pressAction(); }

  void doAction(const QString& name) override {
    if (name == pressAction()) {
      button()->click();
      return;
    }
    QAccessibleWidget::doAction(name);
  }

 private:
  DisclosureButton* button() const { return static_cast<DisclosureButton*>(widget()); }
};

QAccessibleInterface* overlayAccessibleFactory(const QString&, QObject* object) {
  if (auto* row = qobject_cast<CandidateRow*>(object)) {
    return new CandidateRowAccessible(row);
  }
  if (auto* button = qobject_cast<DisclosureButton*>(object)) {
    return new DisclosureButtonAccessible(button);
  }
  return nullptr;
}

}  // namespace

void installOverlayAccessibility() {
  // Qt keeps one process-wide factory list; registering once is enough.
  static std::once_flag once;
  std::call_once(once, [] { QAccessible::installFactory(overlayAccessibleFactory); });
}

}  // namespace wrenfold
