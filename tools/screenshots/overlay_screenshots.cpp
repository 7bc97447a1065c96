// Renders the overlay panel in each phase into PNG files (reading, generating, ready, error, the
// context disclosure open with a screenshot preview, and the ready state on a dark palette), on
// the offscreen platform, so the look can be reviewed without a desktop.
//
//   overlay_screenshots [OUTPUT_DIR]     (default: <build dir>/screenshots)

#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QLinearGradient>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QTextStream>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "core/cycle/generation.h"
#include "core/records/assistant_error.h"
#include "core/templates/built_in_templates.h"
#include "dark_palette.h"
#include "ui/overlay/context_section.h"
#include "ui/overlay/disclosure_section.h"
#include "ui/overlay/overlay_panel.h"
#include "ui/overlay/overlay_view.h"
#include "ui/overlay/overlay_window_controller.h"

namespace wrenfold {
namespace {

const QString kCjkFamily = QStringLiteral("Noto Sans CJK SC");

ContextSnapshot chatContext() {
  ContextSnapshot snapshot;
  snapshot.source = ContextSource::accessibility;
  snapshot.appName = "Slack";
  snapshot.appBundleID = "com.slack.slack";
  snapshot.windowTitle = "#产品发布 - Tillbrook";
  snapshot.focusedText = "";
  snapshot.nearbyText =
      "王磊：周五的发布能不能推迟到下周二？测试那边还有两个阻塞问题没关。\n"
      "李娜：我这边文档已经准备好了，只等最终版本号。";
  snapshot.confidence = 0.86;
  return snapshot;
}

std::vector<GeneratedCandidate> candidates() {
  return {
      {Uuid::random(), "可以，推迟到下周二没问题。我会同步市场那边调整发布公告的时间。",
       std::string("同意推迟"), 0.9},
      {Uuid::random(),
       "我理解测试的顾虑，不过周五的时间已经对外公布了。能否先评估一下这两个问题的影响范围，"
       "周三下班前我们再决定是否推迟？",
       std::nullopt, 0.8},
      {Uuid::random(), "Sounds good — let's move the release to Tuesday and keep the docs as they are.",
       std::string("English"), 0.7},
  };
}

// A stand-in for a captured chat window: title bar, sidebar, message bubbles.
Image fakeWindowCapture() {
  QImage canvas(960, 600, QImage::Format_RGBA8888);
  canvas.fill(QColor(248, 248, 250));
  QPainter p(&canvas);
  p.setRenderHint(QPainter::Antialiasing);
  p.fillRect(QRect(0, 0, 960, 44), QColor(63, 14, 64));
  p.fillRect(QRect(0, 44, 220, 556), QColor(74, 21, 75));
  p.setPen(Qt::NoPen);
  for (int i = 0; i < 7; ++i) {
    p.setBrush(QColor(255, 255, 255, i == 2 ? 90 : 40));
    p.drawRoundedRect(QRectF(18, 70 + i * 36, 150 - (i % 3) * 25, 18), 6, 6);
  }
  for (int i = 0; i < 4; ++i) {
    p.setBrush(QColor(90 + i * 30, 120, 200 - i * 20));
    p.drawEllipse(QRectF(250, 80 + i * 110, 36, 36));
    p.setBrush(QColor(225, 228, 235));
    p.drawRoundedRect(QRectF(300, 80 + i * 110, 420 - (i % 2) * 120, 22), 8, 8);
    p.drawRoundedRect(QRectF(300, 110 + i * 110, 560 - (i % 3) * 90, 22), 8, 8);
  }
  p.setBrush(Qt::white);
  p.setPen(QColor(200, 200, 210));
  p.drawRoundedRect(QRectF(250, 530, 680, 48), 10, 10);
  p.end();
  Image image{canvas.width(), canvas.height(), {}};
  image.rgba.assign(canvas.constBits(), canvas.constBits() + canvas.sizeInBytes());
  return image;
}

void readContext(OverlayViewModel& model, const ContextSnapshot& snapshot) {
  model.setContextSummary(generation::summaryLine(snapshot));
  model.setContextDetails(generation::contextDetails(snapshot));
}

void showReady(OverlayViewModel& model, std::size_t selected = 0) {
  readContext(model, chatContext());
  auto list = candidates();
  model.setCandidates(list);
  model.setSelectedCandidateID(list[selected].id);
  model.setPhase(OverlayPhase::ready(list));
}

struct Scene {
  QString name;
  std::function<void(OverlayWindowController&)> setUp;
  bool fromTop = false;  // shown scrolled to the top rather than at the selection
};

bool render(const Scene& scene, const QString& directory) {
  OverlayWindowController controller(BuiltInTemplates::all());
  OverlayViewModel& model = controller.model();
  model.setPhase(OverlayPhase::reading());
  controller.show(std::nullopt);
  scene.setUp(controller);
  // Let layouts, deferred scrolling and the scroll animation finish.
  for (int i = 0; i < 5; ++i) {
    QApplication::processEvents();
  }
  QEventLoop settle;
  QTimer::singleShot(OverlayView::kScrollMs * 2, &settle, &QEventLoop::quit);
  settle.exec();
  if (scene.fromTop) {
    controller.panel()->view().scrollArea().verticalScrollBar()->setValue(0);
  }
  const QString path = QDir(directory).filePath(QStringLiteral("overlay-%1.png").arg(scene.name));
  const bool saved = controller.panel()->grab().save(path, "PNG");
  QTextStream(stdout) << (saved ? "wrote " : "could not write ") << path << '\n';
  return saved;
}

std::vector<Scene> scenes() {
  return {
      {"reading", [](OverlayWindowController&) {}},
      {"generating",
       [](OverlayWindowController& c) {
         readContext(c.model(), chatContext());
         c.model().setInstruction("语气更坚定一些");
         c.model().setPhase(OverlayPhase::generating());
       }},
      {"ready", [](OverlayWindowController& c) { showReady(c.model()); }},
      {"error",
       [](OverlayWindowController& c) {
         readContext(c.model(), chatContext());
         c.model().setPhase(OverlayPhase::error(AssistantError::missingAPIKey().errorDescription()));
       }},
      {"context",
       [](OverlayWindowController& c) {
         c.model().setContextScreenshot(fakeWindowCapture());
         c.model().setContextScreenshotWarning("窗口截图已缩小，细节可能不清晰。");
         showReady(c.model());
         c.panel()->view().contextSection().disclosure().setExpanded(true);
       },
       true},
      {"ready-dark",
       [](OverlayWindowController& c) {
         c.panel()->setPalette(testing::darkPalette());
         showReady(c.model(), 1);
       }},
  };
}

}  // namespace
}  // namespace wrenfold

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication app(argc, argv);
  if (!QFontDatabase::families().contains(wrenfold::kCjkFamily)) {
    std::fprintf(stderr,
                 "overlay_screenshots: the font \"Noto Sans CJK SC\" is missing (install fonts-noto-cjk); "
                 "Chinese text would not render\n");
    return 1;
  }
  QFont font = QApplication::font();
  font.setFamilies({font.family(), wrenfold::kCjkFamily});
  QApplication::setFont(font);

  const QString directory =
      argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(WRENFOLD_SCREENSHOT_DIR);
  if (!QDir().mkpath(directory)) {
    std::fprintf(stderr, "overlay_screenshots: cannot create %s\n", qPrintable(directory));
    return 1;
  }
  bool ok = true;
  for (const auto& scene : wrenfold::scenes()) {
    ok = wrenfold::render(scene, directory) && ok;
  }
  return ok ? 0 : 1;
}
