#include "ui/overlay/overlay_view.h"

#include <QCoreApplication>
#include <QEasingCurve>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include "core/text/text.h"
#include "ui/common/divider.h"
#include "ui/common/style.h"
#include "ui/overlay/candidate_list.h"
#include "ui/overlay/candidate_row.h"
#include "ui/overlay/clipboard_text.h"
#include "ui/overlay/context_section.h"
#include "ui/overlay/error_state_view.h"
#include "ui/overlay/instruction_editor.h"
#include "ui/overlay/manual_context_section.h"
#include "ui/overlay/overlay_accessibility.h"
#include "ui/overlay/overlay_footer.h"
#include "ui/overlay/overlay_header.h"
#include "ui/overlay/overlay_key_handler.h"
#include "ui/overlay/progress_state_view.h"
#include "ui/overlay/template_chips.h"

namespace wrenfold {
namespace {

constexpr double kCornerRadius = 8;

bool isBusy(const OverlayPhase& phase) {
  return phase.kind() == OverlayPhase::Kind::reading || phase.kind() == OverlayPhase::Kind::generating;
}

bool hasContextDetails(const OverlayViewModel& m) {
  return m.contextScreenshot() || m.contextScreenshotWarning() || !text::isBlank(m.contextDetails()) ||
         !text::isBlank(m.manualContext()) || m.phase().kind() == OverlayPhase::Kind::error;
}

QWidget* padded(QWidget* inner, int left, int top, int right, int bottom, QWidget* parent) {
  auto* box = new QWidget(parent);
  auto* layout = new QVBoxLayout(box);
  layout->setContentsMargins(left, top, right, bottom);
  layout->addWidget(inner);
  return box;
}

}  // namespace

OverlayView::OverlayView(OverlayViewModel& model, QWidget* parent)
    : QWidget(parent),
      model_(model),
      listener_(0),
      header_(new OverlayHeader(this)),
      chips_(new TemplateChips(this)),
      instruction_(new InstructionEditor(this)),
      scroll_(new QScrollArea(this)),
      context_(new ContextSection),
      manual_(new ManualContextSection),
      progress_(new ProgressStateView),
      error_(new ErrorStateView),
      candidates_(new CandidateList),
      footer_(new OverlayFooter(this)) {
  installOverlayAccessibility();
  setFixedSize(kWidth, kHeight);
  setFocusPolicy(Qt::ClickFocus);  // a click on the background leaves the text fields

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  column->addWidget(header_);
  column->addWidget(new Divider(this));
  column->addWidget(padded(chips_, 12, 10, 12, 10, this));
  column->addWidget(new Divider(this));
  column->addWidget(instruction_);
  column->addWidget(scroll_, 1);
  column->addWidget(new Divider(this));
  column->addWidget(footer_);

  scroll_->setFrameShape(QFrame::NoFrame);
  scroll_->setWidgetResizable(true);
  scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroll_->setFocusPolicy(Qt::NoFocus);
  scroll_->viewport()->setAutoFillBackground(false);
  scroll_->setWidget(buildScrollContent());

  scrollAnimation_.setTargetObject(scroll_->verticalScrollBar());
  scrollAnimation_.setPropertyName("value");
  scrollAnimation_.setDuration(kScrollMs);
  scrollAnimation_.setEasingCurve(QEasingCurve::OutCubic);

  styleScrollBar();
  connectControls();
  listener_ = model_.addListener([this] { refresh(); });
  refresh();
  clearTextFocus();  // so the panel, not its first button, has focus when it is activated
}

OverlayView::~OverlayView() {
  model_.removeListener(listener_);
}

QWidget* OverlayView::buildScrollContent() {
  auto* content = new QWidget;
  content->setAutoFillBackground(false);
  auto* column = new QVBoxLayout(content);
  column->setContentsMargins(14, 0, 14, 14);
  column->setSpacing(14);
  for (QWidget* part : std::initializer_list<QWidget*>{context_, manual_, error_, candidates_, progress_}) {
    column->addWidget(part);
  }
  column->addStretch(1);
  return content;
}

void OverlayView::connectControls() {
  header_->onClose = [this] {
    if (model_.onClose) {
      model_.onClose();
    }
  };
  chips_->onSelect = [this](const PromptTemplate& tmpl) { model_.selectTemplate(tmpl); };
  instruction_->onEdited = [this](std::string text) { model_.setInstruction(std::move(text)); };
  instruction_->onRegenerate = [this] {
    clearTextFocus();
    model_.regenerate();
  };
  manual_->onEdited = [this](std::string text) { model_.setManualContext(std::move(text)); };
  error_->onOpenSettings = [this] {
    if (onOpenSettings) {
      onOpenSettings();
    }
  };
  candidates_->onSelect = [this](const GeneratedCandidate& c) { model_.setSelectedCandidateID(c.id); };
  candidates_->onCopy = [](const GeneratedCandidate& c) { copyPlainText(c.text); };
  candidates_->onInsert = [this](const GeneratedCandidate& c) { insert(c); };
  footer_->onCopy = [this] {
    if (auto selected = model_.selectedCandidate()) {
      copyPlainText(selected->text);
    }
  };
  footer_->onInsert = [this] {
    if (auto selected = model_.selectedCandidate()) {
      insert(*selected);
    }
  };
}

void OverlayView::insert(const GeneratedCandidate& candidate) {
  if (model_.onInsert) {
    const std::string templateID = model_.selectedTemplateID();
    model_.onInsert(candidate, templateID);
  }
}

void OverlayView::clearTextFocus() {
  setFocus(Qt::OtherFocusReason);
}

void OverlayView::refresh() {
  const OverlayViewModel& m = model_;
  const bool busy = isBusy(m.phase());
  header_->setSummary(m.contextSummary());
  chips_->setTemplates(m.templates());
  chips_->setSelectedID(m.selectedTemplateID());
  chips_->setBusy(busy);
  instruction_->setInstruction(m.instruction());
  instruction_->setCanGenerate(m.canGenerate());
  context_->setScreenshot(m.contextScreenshot());
  context_->setWarning(m.contextScreenshotWarning());
  context_->setDetails(m.contextDetails());
  context_->setVisible(hasContextDetails(m));
  manual_->setText(m.manualContext());
  refreshPhase(busy);

  if (busy && !wasBusy_ && isTextInput(window()->focusWidget()) && isAncestorOf(window()->focusWidget())) {
    clearTextFocus();
  }
  wasBusy_ = busy;
  if (m.selectedCandidateID() != shownSelection_) {
    shownSelection_ = m.selectedCandidateID();
    if (shownSelection_) {
      // After the current round of model changes: the orchestrator selects before it shows the
      // list, and the rows need their layout first.
      QTimer::singleShot(0, this, [this] { scrollToSelection(); });
    }
  }
}

void OverlayView::refreshPhase(bool busy) {
  const OverlayPhase& phase = model_.phase();
  const auto kind = phase.kind();
  // A streamed reply shows its first candidates while the rest are written, the note under them.
  const bool moreComing = kind == OverlayPhase::Kind::ready && phase.moreComing();
  if (moreComing) {
    progress_->setContent(QStringLiteral("正在生成更多候选"), "sparkles");
  } else if (kind == OverlayPhase::Kind::generating) {
    progress_->setContent(QStringLiteral("正在生成可用候选"), "sparkles");
  } else {
    progress_->setContent(QStringLiteral("正在读取当前窗口内容"), "text.viewfinder");
  }
  progress_->setVisible(kind == OverlayPhase::Kind::idle || busy || moreComing);
  error_->setMessage(phase.message());
  error_->setVisible(kind == OverlayPhase::Kind::error);
  candidates_->setCandidates(model_.candidates());
  candidates_->setSelectedID(model_.selectedCandidateID());
  candidates_->setVisible(kind == OverlayPhase::Kind::ready);
  footer_->setState(kind == OverlayPhase::Kind::ready && model_.selectedCandidate().has_value(), busy);
}

void OverlayView::scrollToSelection() {
  const auto& id = model_.selectedCandidateID();
  CandidateRow* row = id ? candidates_->row(*id) : nullptr;
  if (row == nullptr || !row->isVisible()) {
    return;
  }
  // Settle pending layouts so the row's position and the scroll range are current.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
  const int rowCentre = row->mapTo(scroll_->widget(), QPoint(0, row->height() / 2)).y();
  QScrollBar* bar = scroll_->verticalScrollBar();
  const int target =
      std::clamp(rowCentre - scroll_->viewport()->height() / 2, bar->minimum(), bar->maximum());
  scrollAnimation_.stop();
  if (target == bar->value()) {
    return;
  }
  scrollAnimation_.setStartValue(bar->value());
  scrollAnimation_.setEndValue(target);
  scrollAnimation_.start();
}

void OverlayView::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) {
    styleScrollBar();
  }
}

void OverlayView::styleScrollBar() {
  style::styleSlimScrollBar(*scroll_->verticalScrollBar(), palette());
}

void OverlayView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  QPainterPath shape;
  shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), kCornerRadius, kCornerRadius);
  painter.fillPath(shape, style::panelBackground(palette()));
  painter.setPen(QPen(style::hairline(palette()), 1));
  painter.drawPath(shape);
}

}  // namespace wrenfold
