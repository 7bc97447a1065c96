// The panel's keyboard: the decision table on its own, then the same keys through the real
// panel window (where a focused text field keeps most of them).
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QScreen>
#include <QTest>

#include "core/overlay/overlay_placement.h"
#include "core/templates/built_in_templates.h"
#include "ui/overlay/disclosure_section.h"
#include "ui/overlay/instruction_editor.h"
#include "ui/overlay/manual_context_section.h"
#include "ui/overlay/overlay_key_handler.h"
#include "ui/overlay/overlay_panel.h"
#include "ui/overlay/overlay_view.h"
#include "ui/overlay/overlay_window_controller.h"

namespace wrenfold {
namespace {

// Records what the model asked of the cycle.
struct Recorder {
  int generated = 0;
  int closed = 0;
  std::vector<std::pair<std::string, std::string>> inserted;  // text, template id

  void attach(OverlayViewModel& model) {
    model.onGenerate = [this](const std::string&, const std::string&, const std::string&) { ++generated; };
    model.onClose = [this] { ++closed; };
    model.onInsert = [this](const GeneratedCandidate& c, const std::string& id) {
      inserted.emplace_back(c.text, id);
    };
  }
};

std::vector<GeneratedCandidate> threeCandidates() {
  return {{Uuid::random(), "第一条", std::nullopt, 0.9},
          {Uuid::random(), "第二条", std::string("标题"), 0.8},
          {Uuid::random(), "third", std::nullopt, 0.7}};
}

void showReady(OverlayViewModel& model) {
  const auto list = threeCandidates();
  model.setCandidates(list);
  model.setSelectedCandidateID(list.front().id);
  model.setPhase(OverlayPhase::ready(list));
}

long selectedIndex(const OverlayViewModel& model) {
  const auto& list = model.candidates();
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (model.selectedCandidateID() == list[i].id) {
      return static_cast<long>(i);
    }
  }
  return -1;
}

}  // namespace

class OverlayKeysTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void decides_data();
  void decides();
  void panelIsANonActivatingToolWindowCreatedOnFirstShow();
  void instructionFieldKeepsKeysExceptCtrlRAndEscapeOutsideItCloses();
  void focusPanelLeavesTheTextFields();
  void resultArrivingWhileTypingLeavesTheKeysInTheField_data();
  void resultArrivingWhileTypingLeavesTheKeysInTheField();
};

void OverlayKeysTest::init() {
  QApplication::clipboard()->setText(QStringLiteral("before"));
}

void OverlayKeysTest::decides_data() {
  QTest::addColumn<bool>("ready");
  QTest::addColumn<int>("key");
  QTest::addColumn<int>("modifiers");
  QTest::addColumn<QString>("text");
  QTest::addColumn<bool>("editing");
  QTest::addColumn<bool>("consumed");
  QTest::addColumn<long>("selection");  // index selected afterwards
  QTest::addColumn<int>("generated");
  QTest::addColumn<int>("closed");
  QTest::addColumn<QString>("inserted");  // text handed to onInsert, empty for none
  QTest::addColumn<QString>("clipboard");

  const int none = Qt::NoModifier;
  const int ctrl = Qt::ControlModifier;
  const QString before = QStringLiteral("before");
  const QString first = QStringLiteral("第一条");
  // clang-format off
  QTest::newRow("down moves")              << true << int(Qt::Key_Down)   << none << "" << false << true  << 1L << 0 << 0 << "" << before;
  QTest::newRow("right moves")             << true << int(Qt::Key_Right)  << none << "" << false << true  << 1L << 0 << 0 << "" << before;
  QTest::newRow("up wraps to the last")    << true << int(Qt::Key_Up)     << none << "" << false << true  << 2L << 0 << 0 << "" << before;
  QTest::newRow("left wraps to the last")  << true << int(Qt::Key_Left)   << none << "" << false << true  << 2L << 0 << 0 << "" << before;
  QTest::newRow("shift+down still moves")  << true << int(Qt::Key_Down)   << int(Qt::ShiftModifier) << "" << false << true << 1L << 0 << 0 << "" << before;
  QTest::newRow("digit 3 chooses")         << true << int(Qt::Key_3)      << none << "3" << false << true << 2L << 0 << 0 << "" << before;
  QTest::newRow("keypad digit chooses")    << true << int(Qt::Key_2)      << int(Qt::KeypadModifier) << "2" << false << true << 1L << 0 << 0 << "" << before;
  QTest::newRow("digit 4 of 3 is ignored") << true << int(Qt::Key_4)      << none << "4" << false << false << 0L << 0 << 0 << "" << before;
  QTest::newRow("digit 0 is ignored")      << true << int(Qt::Key_0)      << none << "0" << false << false << 0L << 0 << 0 << "" << before;
  QTest::newRow("a letter is ignored")     << true << int(Qt::Key_A)      << none << "a" << false << false << 0L << 0 << 0 << "" << before;
  QTest::newRow("return inserts")          << true << int(Qt::Key_Return) << none << "\r" << false << true << 0L << 0 << 0 << first << before;
  QTest::newRow("keypad enter inserts")    << true << int(Qt::Key_Enter)  << int(Qt::KeypadModifier) << "\r" << false << true << 0L << 0 << 0 << first << before;
  QTest::newRow("ctrl+c copies")           << true << int(Qt::Key_C)      << ctrl << "" << false << true  << 0L << 0 << 0 << "" << first;
  QTest::newRow("ctrl+r regenerates")      << true << int(Qt::Key_R)      << ctrl << "" << false << true  << -1L << 1 << 0 << "" << before;
  QTest::newRow("escape closes")           << true << int(Qt::Key_Escape) << none << "" << false << true  << 0L << 0 << 1 << "" << before;
  QTest::newRow("alt+down is left alone")  << true << int(Qt::Key_Down)   << int(Qt::AltModifier) << "" << false << false << 0L << 0 << 0 << "" << before;
  QTest::newRow("ctrl+return is left alone") << true << int(Qt::Key_Return) << ctrl << "" << false << false << 0L << 0 << 0 << "" << before;
  QTest::newRow("super+1 is left alone")   << true << int(Qt::Key_1)      << int(Qt::MetaModifier) << "1" << false << false << 0L << 0 << 0 << "" << before;
  QTest::newRow("typing: ctrl+r regenerates") << true << int(Qt::Key_R)   << ctrl << "" << true << true << -1L << 1 << 0 << "" << before;
  QTest::newRow("typing: escape stays in the field") << true << int(Qt::Key_Escape) << none << "" << true << false << 0L << 0 << 0 << "" << before;
  QTest::newRow("typing: return stays in the field") << true << int(Qt::Key_Return) << none << "\r" << true << false << 0L << 0 << 0 << "" << before;
  QTest::newRow("typing: arrows stay in the field")  << true << int(Qt::Key_Down) << none << "" << true << false << 0L << 0 << 0 << "" << before;
  QTest::newRow("typing: ctrl+c stays in the field") << true << int(Qt::Key_C) << ctrl << "" << true << false << 0L << 0 << 0 << "" << before;
  QTest::newRow("no candidates: return is left alone") << false << int(Qt::Key_Return) << none << "\r" << false << false << -1L << 0 << 0 << "" << before;
  QTest::newRow("no candidates: ctrl+c is left alone") << false << int(Qt::Key_C) << ctrl << "" << false << false << -1L << 0 << 0 << "" << before;
  QTest::newRow("no candidates: escape closes") << false << int(Qt::Key_Escape) << none << "" << false << true << -1L << 0 << 1 << "" << before;
  // clang-format on
}

void OverlayKeysTest::decides() {
  QFETCH(bool, ready);
  QFETCH(int, key);
  QFETCH(int, modifiers);
  QFETCH(QString, text);
  QFETCH(bool, editing);
  QFETCH(bool, consumed);
  QFETCH(long, selection);
  QFETCH(int, generated);
  QFETCH(int, closed);
  QFETCH(QString, inserted);
  QFETCH(QString, clipboard);

  OverlayViewModel model;
  model.setTemplates(BuiltInTemplates::all());
  Recorder recorder;
  recorder.attach(model);
  if (ready) {
    showReady(model);
  } else {
    model.setPhase(OverlayPhase::error("失败"));
  }
  OverlayKeyHandler handler(
      model, [](const std::string& s) { QApplication::clipboard()->setText(QString::fromStdString(s)); });

  const QKeyEvent event(QEvent::KeyPress, key, Qt::KeyboardModifiers(modifiers), text);
  QCOMPARE(handler.handleKeyDown(event, editing), consumed);
  QCOMPARE(selectedIndex(model), selection);
  QCOMPARE(recorder.generated, generated);
  QCOMPARE(recorder.closed, closed);
  if (inserted.isEmpty()) {
    QVERIFY(recorder.inserted.empty());
  } else {
    QCOMPARE(recorder.inserted.size(), 1u);
    QCOMPARE(QString::fromStdString(recorder.inserted[0].first), inserted);
    QCOMPARE(recorder.inserted[0].second, std::string("reply.quick"));
  }
  QCOMPARE(QApplication::clipboard()->text(), clipboard);
}

void OverlayKeysTest::panelIsANonActivatingToolWindowCreatedOnFirstShow() {
  OverlayWindowController controller(BuiltInTemplates::all());
  QCOMPARE(controller.model().templates().size(), BuiltInTemplates::all().size());
  QVERIFY(controller.panel() == nullptr);
  controller.ensureSize();
  controller.focusPanel();
  controller.close();  // no panel yet: nothing happens
  QVERIFY(controller.panel() == nullptr);

  const Rect anchor{100, 100, 200, 20};
  controller.show(anchor);
  OverlayPanel* panel = controller.panel();
  QVERIFY(panel != nullptr);
  QVERIFY(panel->isVisible());
  const Qt::WindowFlags flags = panel->windowFlags();
  QVERIFY(flags.testFlag(Qt::Tool) && flags.testFlag(Qt::FramelessWindowHint) &&
          flags.testFlag(Qt::WindowStaysOnTopHint));
  QVERIFY(panel->testAttribute(Qt::WA_ShowWithoutActivating));
  QVERIFY(panel->testAttribute(Qt::WA_TranslucentBackground));
  QCOMPARE(panel->size(), QSize(560, 540));
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  QCOMPARE(availableScreenArea(anchor),
           (Rect{double(screen.x()), double(screen.y()), double(screen.width()), double(screen.height())}));
  const Point expected = OverlayPlacement::origin(Size{560, 540}, availableScreenArea(anchor), anchor);
  QCOMPARE(panel->pos(), QPoint(int(expected.x), int(expected.y)));

  controller.close();
  QVERIFY(!panel->isVisible());
  controller.show(std::nullopt);
  QCOMPARE(controller.panel(), panel);  // reused, not rebuilt
  QVERIFY(panel->isVisible());
  QVERIFY(!controller.lastAnchor().has_value());
}

void OverlayKeysTest::instructionFieldKeepsKeysExceptCtrlRAndEscapeOutsideItCloses() {
  OverlayWindowController controller(BuiltInTemplates::all());
  Recorder recorder;
  recorder.attach(controller.model());
  controller.show(std::nullopt);
  showReady(controller.model());
  QWindow* window = controller.panel()->windowHandle();
  QLineEdit& field = controller.panel()->view().instructionEditor().field();
  field.setFocus();

  QTest::keyClick(window, Qt::Key_A);
  QTest::keyClick(window, Qt::Key_B);
  QTest::keyClick(window, Qt::Key_Left);  // the cursor moves, not the selection
  QTest::keyClick(window, Qt::Key_3);     // typed, not a candidate choice
  QCOMPARE(field.text(), QStringLiteral("a3b"));
  QCOMPARE(controller.model().instruction(), std::string("a3b"));
  QCOMPARE(selectedIndex(controller.model()), 0L);
  QTest::keyClick(window, Qt::Key_Escape);
  QCOMPARE(recorder.closed, 0);
  QVERIFY(field.hasFocus() || controller.panel()->focusWidget() == &field);

  QTest::keyClick(window, Qt::Key_R, Qt::ControlModifier);
  QCOMPARE(recorder.generated, 1);
  QCOMPARE(controller.model().phase().kind(), OverlayPhase::Kind::generating);
  // Busy takes the focus off the field so the panel's keys work again.
  QVERIFY(controller.panel()->focusWidget() != &field);

  showReady(controller.model());
  field.setFocus();
  QTest::keyClick(window, Qt::Key_Return);  // Return in the field regenerates, it does not insert
  QCOMPARE(recorder.generated, 2);
  QVERIFY(recorder.inserted.empty());
  QVERIFY(controller.panel()->focusWidget() != &field);
  QTest::keyClick(window, Qt::Key_Escape);  // outside the field: the panel's key
  QCOMPARE(recorder.closed, 1);
}

void OverlayKeysTest::focusPanelLeavesTheTextFields() {
  OverlayWindowController controller(BuiltInTemplates::all());
  controller.show(std::nullopt);
  QLineEdit& field = controller.panel()->view().instructionEditor().field();
  field.setFocus();
  QCOMPARE(controller.panel()->focusWidget(), &field);
  controller.focusPanel();
  QVERIFY(QTest::qWaitForWindowActive(controller.panel()));
  QVERIFY(!isTextInput(QApplication::focusWidget()));
  QVERIFY(controller.panel()->isVisible());
}

void OverlayKeysTest::resultArrivingWhileTypingLeavesTheKeysInTheField_data() {
  QTest::addColumn<bool>("pastedContext");  // else the instruction field
  QTest::addColumn<QString>("typed");
  QTest::newRow("instruction field") << false << QStringLiteral("x2");
  QTest::newRow("pasted-context field") << true << QStringLiteral("x2\n");
}

void OverlayKeysTest::resultArrivingWhileTypingLeavesTheKeysInTheField() {
  QFETCH(bool, pastedContext);
  QFETCH(QString, typed);
  OverlayWindowController controller(BuiltInTemplates::all());
  Recorder recorder;
  recorder.attach(controller.model());
  controller.show(std::nullopt);
  controller.focusPanel();
  QVERIFY(QTest::qWaitForWindowActive(controller.panel()));
  controller.model().setPhase(OverlayPhase::generating());
  OverlayView& view = controller.panel()->view();
  view.manualContextSection().disclosure().setExpanded(true);
  QWidget* field = pastedContext ? static_cast<QWidget*>(&view.manualContextSection().field())
                                 : static_cast<QWidget*>(&view.instructionEditor().field());
  field->setFocus();
  QWindow* window = controller.panel()->windowHandle();
  QTest::keyClick(window, Qt::Key_X);

  // The reply arrives the way the cycle delivers it.
  showReady(controller.model());
  controller.ensureSize();
  controller.focusPanel();

  QTest::keyClick(window, Qt::Key_2);
  if (pastedContext) {
    QTest::keyClick(window, Qt::Key_Return);
  }
  QCOMPARE(controller.panel()->focusWidget(), field);
  QCOMPARE(QString::fromStdString(pastedContext ? controller.model().manualContext()
                                                : controller.model().instruction()),
           typed);
  QCOMPARE(selectedIndex(controller.model()), 0L);
  QVERIFY(recorder.inserted.empty());
}

}  // namespace wrenfold

QTEST_MAIN(wrenfold::OverlayKeysTest)
#include "overlay_keys_test.moc"
