// The overlay view drawn from its model: each phase's content and texts, enabled states, the
// disclosures, the candidate rows with their buttons and accessibility, and scrolling.
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include "core/templates/built_in_templates.h"
#include "ui/common/symbol_view.h"
#include "ui/overlay/busy_indicator.h"
#include "ui/overlay/candidate_list.h"
#include "ui/overlay/candidate_row.h"
#include "ui/overlay/context_section.h"
#include "ui/overlay/disclosure_section.h"
#include "ui/overlay/elided_label.h"
#include "ui/overlay/error_state_view.h"
#include "ui/overlay/instruction_editor.h"
#include "ui/overlay/manual_context_section.h"
#include "ui/overlay/overlay_button.h"
#include "ui/overlay/overlay_footer.h"
#include "ui/overlay/overlay_header.h"
#include "ui/overlay/overlay_view.h"
#include "ui/overlay/progress_state_view.h"
#include "ui/overlay/screenshot_preview.h"
#include "ui/overlay/selectable_text_view.h"
#include "ui/overlay/template_chips.h"

namespace wrenfold {
namespace {

std::vector<GeneratedCandidate> makeCandidates(int count, const std::string& text = "候选文本") {
  std::vector<GeneratedCandidate> list;
  for (int i = 0; i < count; ++i) {
    list.push_back({Uuid::random(), text + " " + std::to_string(i + 1), std::nullopt, 0.8});
  }
  return list;
}

void showReady(OverlayViewModel& model, const std::vector<GeneratedCandidate>& list) {
  model.setCandidates(list);
  model.setSelectedCandidateID(list.front().id);
  model.setPhase(OverlayPhase::ready(list));
}

// A model with the built-in templates and a view on it, shown on the offscreen screen.
struct Fixture {
  OverlayViewModel model;
  int generated = 0;
  std::string generatedTemplate;
  std::vector<std::string> inserted;
  std::unique_ptr<OverlayView> view;

  Fixture() {
    model.setTemplates(BuiltInTemplates::all());
    model.onGenerate = [this](const std::string& id, const std::string&, const std::string&) {
      ++generated;
      generatedTemplate = id;
    };
    model.onInsert = [this](const GeneratedCandidate& c, const std::string& id) {
      inserted.push_back(c.text + "|" + id);
    };
    view = std::make_unique<OverlayView>(model);
    view->show();
  }
};

Image solidImage(int width, int height, std::array<std::uint8_t, 4> rgba) {
  Image image{width, height, {}};
  for (int i = 0; i < width * height; ++i) {
    image.rgba.insert(image.rgba.end(), rgba.begin(), rgba.end());
  }
  return image;
}

}  // namespace

class OverlayViewTest : public QObject {
  Q_OBJECT

 private slots:
  void showsEachPhase_data();
  void showsEachPhase();
  void headerTellsWhetherContextWasCaptured();
  void contextDisclosureAppearsOnlyWithSomethingToShow_data();
  void contextDisclosureAppearsOnlyWithSomethingToShow();
  void pastedContextOpensItsGroup();
  void templateChipsFollowTheModelAndAreDisabledWhileBusy();
  void regenerateButtonFollowsCanGenerate();
  void instructionFieldEditsTheModelAndReturnRegenerates();
  void candidateRowsAreNumberedWithNamedButtons();
  void candidateRowsAndFooterSelectCopyAndInsert();
  void screenshotPreviewKeepsColoursAndRejectsShortImages();
  void selectionScrollsIntoView();
};

constexpr int kMoreComing = 100;  // not a phase kind: ready with more candidates coming

void OverlayViewTest::showsEachPhase_data() {
  QTest::addColumn<int>("phase");
  QTest::addColumn<QString>("progressText");
  QTest::addColumn<QString>("progressSymbol");
  QTest::addColumn<bool>("error");
  QTest::addColumn<bool>("list");
  QTest::addColumn<bool>("footerActions");
  QTest::addColumn<bool>("busyIndicator");
  using K = OverlayPhase::Kind;
  QTest::newRow("idle") << int(K::idle) << "正在读取当前窗口内容"
                        << "text.viewfinder" << false << false << false << false;
  QTest::newRow("reading") << int(K::reading) << "正在读取当前窗口内容"
                           << "text.viewfinder" << false << false << false << true;
  QTest::newRow("generating") << int(K::generating) << "正在生成可用候选"
                              << "sparkles" << false << false << false << true;
  QTest::newRow("error") << int(K::error) << ""
                         << "" << true << false << false << false;
  QTest::newRow("ready") << int(K::ready) << ""
                         << "" << false << true << true << false;
  QTest::newRow("ready, more coming") << kMoreComing << "正在生成更多候选"
                                      << "sparkles" << false << true << true << false;
}

void OverlayViewTest::showsEachPhase() {
  QFETCH(int, phase);
  QFETCH(QString, progressText);
  QFETCH(QString, progressSymbol);
  QFETCH(bool, error);
  QFETCH(bool, list);
  QFETCH(bool, footerActions);
  QFETCH(bool, busyIndicator);
  Fixture f;
  OverlayView& view = *f.view;
  switch (static_cast<OverlayPhase::Kind>(phase)) {
    case OverlayPhase::Kind::idle:
      break;
    case OverlayPhase::Kind::reading:
      f.model.setPhase(OverlayPhase::reading());
      break;
    case OverlayPhase::Kind::generating:
      f.model.setPhase(OverlayPhase::generating());
      break;
    case OverlayPhase::Kind::error:
      f.model.setPhase(OverlayPhase::error("模型请求失败：<b>超时</b>"));
      break;
    case OverlayPhase::Kind::ready:
      showReady(f.model, makeCandidates(3));
      break;
  }
  if (phase == kMoreComing) {  // a streamed reply: the first candidates, the rest still written
    showReady(f.model, makeCandidates(2));
    f.model.setPhase(OverlayPhase::ready(f.model.candidates(), true));
  }
  QCOMPARE(view.progressState().isVisible(), !progressText.isEmpty());
  if (!progressText.isEmpty()) {
    QCOMPARE(view.progressState().text().text(), progressText);
    QCOMPARE(QString::fromStdString(view.progressState().symbol().symbol().name()), progressSymbol);
  }
  QCOMPARE(view.errorState().isVisible(), error);
  if (error) {
    QCOMPARE(view.errorState().title().text(), QStringLiteral("无法生成候选"));
    QCOMPARE(view.errorState().message().toPlainText(),
             QStringLiteral("模型请求失败：<b>超时</b>"));  // never markup
  }
  QCOMPARE(view.candidateList().isVisible(), list);
  OverlayFooter& footer = view.footer();
  QCOMPARE(footer.insertButton().isVisible(), footerActions);
  QCOMPARE(footer.copyButton().isVisible(), footerActions);
  QCOMPARE(footer.hint().isVisible(), footerActions);
  QCOMPARE(footer.busyIndicator().isVisible(), busyIndicator);
}

void OverlayViewTest::headerTellsWhetherContextWasCaptured() {
  Fixture f;
  OverlayHeader& header = f.view->header();
  QCOMPARE(header.title().text(), QStringLiteral("准备当前上下文"));
  QVERIFY(!header.summary().isVisible());

  int closed = 0;
  f.model.onClose = [&closed] { ++closed; };
  QTest::mouseClick(&header.closeButton(), Qt::LeftButton);
  QCOMPARE(closed, 1);
}

void OverlayViewTest::contextDisclosureAppearsOnlyWithSomethingToShow_data() {
  QTest::addColumn<QString>("field");
  QTest::addColumn<bool>("shown");
  QTest::newRow("nothing captured") << "" << false;
  QTest::newRow("blank details") << "blank details" << false;
  QTest::newRow("details") << "details" << true;
  QTest::newRow("screenshot warning") << "warning" << true;
  QTest::newRow("screenshot") << "screenshot" << true;
  QTest::newRow("pasted context") << "manual" << true;
  QTest::newRow("error with nothing captured") << "error" << true;
}

void OverlayViewTest::contextDisclosureAppearsOnlyWithSomethingToShow() {
  QFETCH(QString, field);
  QFETCH(bool, shown);
  Fixture f;
  f.model.setPhase(OverlayPhase::reading());
  if (field == "blank details") {
    f.model.setContextDetails(" \n\t");
  } else if (field == "details") {
    f.model.setContextDetails("App: Notes");
  } else if (field == "warning") {
    f.model.setContextScreenshotWarning("无法截取窗口");
  } else if (field == "screenshot") {
    f.model.setContextScreenshot(solidImage(4, 2, {255, 0, 0, 255}));
  } else if (field == "manual") {
    f.model.setManualContext("漏掉的一段");
  } else if (field == "error") {
    f.model.setPhase(OverlayPhase::error("失败"));
  }
  QCOMPARE(f.view->contextSection().isVisible(), shown);
  QVERIFY(f.view->manualContextSection().isVisible());  // always offered
}

void OverlayViewTest::pastedContextOpensItsGroup() {
  Fixture f;
  DisclosureSection& group = f.view->manualContextSection().disclosure();
  ManualContextField& field = f.view->manualContextSection().field();
  f.model.setManualContext("  \n");
  QVERIFY(!group.isExpanded());
  f.model.setManualContext("客户的原话：周五前给答复");
  QVERIFY(group.isExpanded());
  QCOMPARE(field.toPlainText(), QStringLiteral("客户的原话：周五前给答复"));

  // The user's edits reach the model; collapsing stays the user's choice until the text changes.
  field.setPlainText(QStringLiteral("改过的"));
  QCOMPARE(f.model.manualContext(), std::string("改过的"));
  group.setExpanded(false);
  f.model.setContextSummary("x");
  QVERIFY(!group.isExpanded());
}

void OverlayViewTest::templateChipsFollowTheModelAndAreDisabledWhileBusy() {
  Fixture f;
  TemplateChips& chips = f.view->templateChips();
  for (const PromptTemplate& tmpl : BuiltInTemplates::all()) {
    OverlayButton* chip = chips.chip(tmpl.id);
    QVERIFY(chip != nullptr);
    QCOMPARE(chip->text(), QString::fromStdString(tmpl.title));
    QCOMPARE(chip->toolTip(), QString::fromStdString(tmpl.description));
    QCOMPARE(chip->isSelected(), tmpl.id == "reply.quick");
  }
  for (OverlayPhase phase : {OverlayPhase::reading(), OverlayPhase::generating()}) {
    f.model.setPhase(phase);
    QVERIFY(!chips.chip("rewrite.polish")->isEnabled());
  }
  showReady(f.model, makeCandidates(2));
  OverlayButton* polish = chips.chip("rewrite.polish");
  QVERIFY(polish->isEnabled());
  QTest::mouseClick(polish, Qt::LeftButton);
  QCOMPARE(f.generated, 1);
  QCOMPARE(f.generatedTemplate, std::string("rewrite.polish"));
  QVERIFY(polish->isSelected());
  QVERIFY(!chips.chip("reply.quick")->isSelected());
  QVERIFY(!polish->isEnabled());  // now generating
}

void OverlayViewTest::regenerateButtonFollowsCanGenerate() {
  Fixture f;
  OverlayButton& button = f.view->instructionEditor().regenerateButton();
  QVERIFY(button.isEnabled());  // idle with templates
  f.model.setPhase(OverlayPhase::reading());
  QVERIFY(!button.isEnabled());
  f.model.setPhase(OverlayPhase::error("失败"));
  QVERIFY(button.isEnabled());
  f.model.setTemplates({});
  QVERIFY(!button.isEnabled());
  f.model.setTemplates(BuiltInTemplates::all());
  QTest::mouseClick(&button, Qt::LeftButton);
  QCOMPARE(f.generated, 1);
}

void OverlayViewTest::instructionFieldEditsTheModelAndReturnRegenerates() {
  Fixture f;
  f.model.setPhase(OverlayPhase::error("失败"));
  QLineEdit& field = f.view->instructionEditor().field();
  f.model.setInstruction("先说结论");
  QCOMPARE(field.text(), QStringLiteral("先说结论"));
  field.setFocus();
  QTest::keyClicks(&field, QStringLiteral(" then why"));  // QTest types ASCII only
  QCOMPARE(f.model.instruction(), std::string("先说结论 then why"));
  QTest::keyClick(&field, Qt::Key_Return);
  QCOMPARE(f.generated, 1);
  QVERIFY(f.view->focusWidget() != &field);
}

void OverlayViewTest::candidateRowsAreNumberedWithNamedButtons() {
  Fixture f;
  showReady(f.model, makeCandidates(3));
  const auto& rows = f.view->candidateList().rows();
  QCOMPARE(rows.size(), 3u);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const QString n = QString::number(i + 1);
    CandidateRow& row = *rows[i];
    QCOMPARE(row.number(), int(i) + 1);
    QCOMPARE(row.copyButton().accessibleName(), QStringLiteral("复制候选 ") + n);
    QCOMPARE(row.insertButton().accessibleName(), QStringLiteral("填入候选 ") + n);
    QCOMPARE(row.text().toPlainText(), QStringLiteral("候选文本 ") + n);
    QCOMPARE(row.isSelected(), i == 0);

    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&row);
    QVERIFY(accessible != nullptr);
    QCOMPARE(accessible->role(), QAccessible::ListItem);
    QCOMPARE(bool(accessible->state().selected), i == 0);
    QVERIFY(accessible->actionInterface()->actionNames().contains(QStringLiteral("选择")));
  }
  // The named action selects, for assistive technologies.
  QAccessible::queryAccessibleInterface(rows[2])->actionInterface()->doAction(QStringLiteral("选择"));
  QCOMPARE(f.model.selectedCandidateID(), rows[2]->candidate().id);
  QVERIFY(QAccessible::queryAccessibleInterface(rows[2])->state().selected);
}

void OverlayViewTest::candidateRowsAndFooterSelectCopyAndInsert() {
  Fixture f;
  const auto list = makeCandidates(3);
  showReady(f.model, list);
  const auto& rows = f.view->candidateList().rows();

  QTest::mouseClick(rows[1], Qt::LeftButton, {}, QPoint(4, 4));
  QCOMPARE(f.model.selectedCandidateID(), list[1].id);
  QTest::mouseClick(rows[2]->text().viewport(), Qt::LeftButton);  // on the text too
  QCOMPARE(f.model.selectedCandidateID(), list[2].id);
  QVERIFY(f.inserted.empty());  // selecting never inserts

  QTest::mouseClick(&rows[0]->copyButton(), Qt::LeftButton);
  QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("候选文本 1"));
  QTest::mouseClick(&rows[0]->insertButton(), Qt::LeftButton);
  QCOMPARE(f.inserted, std::vector<std::string>{"候选文本 1|reply.quick"});

  // The footer acts on the selected candidate.
  QVERIFY(f.model.chooseCandidate(1));
  QTest::mouseClick(&f.view->footer().copyButton(), Qt::LeftButton);
  QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("候选文本 2"));
  QTest::mouseClick(&f.view->footer().insertButton(), Qt::LeftButton);
  QCOMPARE(f.inserted, (std::vector<std::string>{"候选文本 1|reply.quick", "候选文本 2|reply.quick"}));
}

void OverlayViewTest::screenshotPreviewKeepsColoursAndRejectsShortImages() {
  const QImage red = toQImage(solidImage(3, 2, {255, 0, 0, 255}));
  QCOMPARE(red.size(), QSize(3, 2));
  QCOMPARE(red.pixelColor(2, 1), QColor(255, 0, 0));
  Image truncated = solidImage(3, 2, {0, 0, 255, 255});
  truncated.rgba.resize(20);
  QVERIFY(toQImage(truncated).isNull());
  QVERIFY(toQImage(Image{0, 5, {}}).isNull());

  Fixture f;
  f.model.setContextScreenshot(truncated);  // shown as a section, without a picture
  f.view->contextSection().disclosure().setExpanded(true);
  QVERIFY(f.view->contextSection().isVisible());
  QVERIFY(!f.view->contextSection().preview().isVisible());
  f.model.setContextScreenshot(solidImage(300, 100, {0, 128, 0, 255}));
  ScreenshotPreview& preview = f.view->contextSection().preview();
  QVERIFY(preview.isVisible());
  QVERIFY(preview.heightForWidth(1000) <= ScreenshotPreview::kMaxHeight);
  QCOMPARE(preview.heightForWidth(300), 100);
}

void OverlayViewTest::selectionScrollsIntoView() {
  Fixture f;
  const auto list = makeCandidates(9, std::string(300, 'x'));
  showReady(f.model, list);
  QScrollBar* bar = f.view->scrollArea().verticalScrollBar();
  QTRY_VERIFY(bar->maximum() > 0);
  QCOMPARE(bar->value(), 0);
  // A long run without spaces wraps inside its row instead of running off it.
  SelectableTextView& text = f.view->candidateList().rows()[0]->text();
  QVERIFY(text.height() > 3 * text.fontMetrics().lineSpacing());
  QVERIFY(text.width() <= f.view->scrollArea().viewport()->width());

  const auto centreOffset = [&](int index) {
    CandidateRow* row = f.view->candidateList().rows()[std::size_t(index)];
    const QWidget* viewport = f.view->scrollArea().viewport();
    const int rowCentre = row->mapTo(viewport, QPoint(0, row->height() / 2)).y();
    return rowCentre - viewport->height() / 2;
  };
  QVERIFY(f.model.chooseCandidate(4));
  QTRY_VERIFY(std::abs(centreOffset(4)) <= 1);  // centred, once the short animation is done
  QVERIFY(f.model.chooseCandidate(8));
  QTRY_COMPARE(bar->value(), bar->maximum());  // the last row cannot be centred: the end shows
  const int settled = bar->value();
  f.model.setSelectedCandidateID(std::nullopt);
  QTest::qWait(OverlayView::kScrollMs * 2);
  QCOMPARE(bar->value(), settled);  // no selection, no scrolling
}

}  // namespace wrenfold

QTEST_MAIN(wrenfold::OverlayViewTest)
#include "overlay_view_test.moc"
