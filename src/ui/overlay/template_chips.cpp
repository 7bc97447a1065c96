#include "ui/overlay/template_chips.h"

#include <QHBoxLayout>
#include <QLinearGradient>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include "ui/common/style.h"
#include "ui/overlay/overlay_button.h"

namespace wrenfold {
namespace {

constexpr int kChipSpacing = 6;
constexpr int kFadeWidth = 28;

QString qstring(const std::string& s) {
  return QString::fromStdString(s);
}

}  // namespace

// A gradient from the panel's background to transparent over one edge of the row.
class EdgeFade final : public QWidget {
 public:
  EdgeFade(Qt::Edge edge, QWidget* parent) : QWidget(parent), edge_(edge) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const QColor solid = palette().color(QPalette::Window);
    QLinearGradient gradient(0, 0, width(), 0);
    gradient.setColorAt(edge_ == Qt::LeftEdge ? 0 : 1, solid);
    gradient.setColorAt(edge_ == Qt::LeftEdge ? 1 : 0, style::withAlpha(solid, 0));
    painter.fillRect(rect(), gradient);
  }

 private:
  Qt::Edge edge_;
};

TemplateChips::TemplateChips(QWidget* parent)
    : QScrollArea(parent),
      row_(new QWidget),
      rowLayout_(new QHBoxLayout(row_)),
      leadingFade_(new EdgeFade(Qt::LeftEdge, this)),
      trailingFade_(new EdgeFade(Qt::RightEdge, this)) {
  setAccessibleName(QStringLiteral("处理方式"));
  setFrameShape(QFrame::NoFrame);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setWidgetResizable(true);
  setFocusPolicy(Qt::NoFocus);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  viewport()->setAutoFillBackground(false);
  row_->setAutoFillBackground(false);
  rowLayout_->setContentsMargins(0, 0, 0, 0);
  rowLayout_->setSpacing(kChipSpacing);
  rowLayout_->addStretch(1);
  setWidget(row_);
  setFixedHeight(OverlayButton(OverlayButton::Kind::chip, "globe", QStringLiteral("X")).sizeHint().height());
  QScrollBar* bar = horizontalScrollBar();
  QObject::connect(bar, &QScrollBar::valueChanged, this, [this] { updateFades(); });
  QObject::connect(bar, &QScrollBar::rangeChanged, this, [this] { updateFades(); });
  updateFades();
}

void TemplateChips::resizeEvent(QResizeEvent* event) {
  QScrollArea::resizeEvent(event);
  leadingFade_->setGeometry(0, 0, kFadeWidth, height());
  trailingFade_->setGeometry(width() - kFadeWidth, 0, kFadeWidth, height());
  updateFades();
}

void TemplateChips::updateFades() {
  const QScrollBar* bar = horizontalScrollBar();
  leadingFade_->setVisible(bar->value() > bar->minimum());
  trailingFade_->setVisible(bar->value() < bar->maximum());
  leadingFade_->raise();
  trailingFade_->raise();
}

void TemplateChips::setTemplates(const std::vector<PromptTemplate>& templates) {
  if (templates == templates_) {
    return;
  }
  templates_ = templates;
  rebuild();
}

void TemplateChips::rebuild() {
  // Deferred: the chip may be the one whose press led here.
  for (OverlayButton* chip : chips_) {
    chip->hide();
    rowLayout_->removeWidget(chip);
    chip->deleteLater();
  }
  chips_.clear();
  for (std::size_t i = 0; i < templates_.size(); ++i) {
    const PromptTemplate& tmpl = templates_[i];
    auto* chip = new OverlayButton(OverlayButton::Kind::chip, tmpl.iconName, qstring(tmpl.title), row_);
    chip->setObjectName(qstring(tmpl.id));
    chip->setToolTip(qstring(tmpl.description));
    chip->setAccessibleName(qstring(tmpl.title));
    chip->setAccessibleDescription(qstring(tmpl.description));
    chip->setSelected(tmpl.id == selectedID_);
    chip->setEnabled(!busy_);
    QObject::connect(chip, &QAbstractButton::clicked, this, [this, i] {
      if (onSelect && i < templates_.size()) {
        const PromptTemplate chosen = templates_[i];  // the handler may replace the list
        onSelect(chosen);
      }
    });
    rowLayout_->insertWidget(static_cast<int>(i), chip);
    chips_.push_back(chip);
  }
}

void TemplateChips::setSelectedID(const std::string& id) {
  if (id == selectedID_) {
    return;
  }
  selectedID_ = id;
  for (OverlayButton* chip : chips_) {
    chip->setSelected(chip->objectName().toStdString() == id);
  }
  if (OverlayButton* selected = chip(id)) {
    ensureWidgetVisible(selected, kChipSpacing, 0);
  }
}

void TemplateChips::setBusy(bool busy) {
  busy_ = busy;
  for (OverlayButton* chip : chips_) {
    chip->setEnabled(!busy);
  }
}

OverlayButton* TemplateChips::chip(const std::string& id) const {
  for (OverlayButton* chip : chips_) {
    if (chip->objectName().toStdString() == id) {
      return chip;
    }
  }
  return nullptr;
}

QSize TemplateChips::sizeHint() const {
  return {QScrollArea::sizeHint().width(), height()};
}

void TemplateChips::wheelEvent(QWheelEvent* event) {
  const QPoint delta = event->angleDelta();
  const int step = std::abs(delta.x()) > std::abs(delta.y()) ? delta.x() : delta.y();
  QScrollBar* bar = horizontalScrollBar();
  bar->setValue(bar->value() - step / 2);
  event->accept();
}

}  // namespace wrenfold
