#pragma once

// A grouped form section: an optional heading above a rounded panel whose rows pair a label
// with its control, separated by hairlines, like the grouped forms of desktop settings panes.

#include <QFrame>
#include <QWidget>

class QGridLayout;
class QVBoxLayout;

namespace wrenfold {

class SettingsFormGroup : public QWidget {
 public:
  explicit SettingsFormGroup(QWidget* parent = nullptr);

  // A heading above the panel: a section header widget, or a plain caption.
  void setHeader(QWidget* header);
  void setCaption(const QString& caption);
  // A row: `label` on the left (may be empty), `field` filling the rest.
  void addRow(const QString& label, QWidget* field);
  void addRow(const QString& label, QLayout* field);

 private:
  void addSeparatorIfNeeded();
  void placeLabel(const QString& label);

  QVBoxLayout* outer_;
  QFrame* panel_;
  QGridLayout* rows_;
  int rowCount_ = 0;
};

}  // namespace wrenfold
