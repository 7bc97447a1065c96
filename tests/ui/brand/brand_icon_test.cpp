// The brand mark's drawing, its SVG twin and its palette-following icon; the overlay's symbols
// never render blank.
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QTest>

#include "core/templates/built_in_templates.h"
#include "ui/brand/brand_icon.h"
#include "ui/common/symbol.h"
#include "ui/tray/menu_bar_controller.h"

namespace wrenfold {
namespace {

constexpr int kScale = 4;

QImage renderMark() {
  QImage image(18 * kScale, 18 * kScale, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  BrandIcon::paint(painter, QRectF(image.rect()), Qt::black);
  return image;
}

// Ink at a point given on the 18 x 18 canvas (y downwards).
int inkAt(const QImage& image, double x, double y) {
  return qAlpha(image.pixel(static_cast<int>(x * kScale), static_cast<int>(y * kScale)));
}

int inkedPixels(const QImage& image) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      count += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
    }
  }
  return count;
}

QColor dominantInk(const QIcon& icon) {
  const QImage image = icon.pixmap(QSize(36, 36)).toImage().convertToFormat(QImage::Format_ARGB32);
  // The centre of the stem is always fully covered.
  return QColor::fromRgba(image.pixel(18, 18));
}

}  // namespace

class BrandIconTest : public QObject {
  Q_OBJECT

 private slots:
  void drawsBracketsAndIBeam_data();
  void drawsBracketsAndIBeam();
  void templateIconFollowsThePalette();
  void trayIconShowsOnLightAndDarkPanelsWhateverTheApplicationPalette();
  void trayMarkFollowsALightDarkSwitch();
  void everySymbolDrawsSomething_data();
  void everySymbolDrawsSomething();
};

void BrandIconTest::drawsBracketsAndIBeam_data() {
  QTest::addColumn<double>("x");
  QTest::addColumn<double>("y");
  QTest::addColumn<bool>("inked");
  QTest::newRow("top-left corner") << 2.5 << 2.5 << true;
  QTest::newRow("bottom-right corner") << 15.5 << 15.5 << true;
  QTest::newRow("bracket arm end") << 6.5 << 2.5 << true;
  QTest::newRow("gap between two brackets") << 9.0 << 2.5 << false;
  QTest::newRow("gap on the left side") << 2.5 << 9.0 << false;
  QTest::newRow("stem centre") << 9.0 << 9.0 << true;
  QTest::newRow("top bar end") << 10.4 << 6.0 << true;
  QTest::newRow("beside the stem") << 11.5 << 9.0 << false;
  QTest::newRow("inside the frame") << 4.5 << 4.5 << false;
}

void BrandIconTest::drawsBracketsAndIBeam() {
  QFETCH(double, x);
  QFETCH(double, y);
  QFETCH(bool, inked);
  const QImage image = renderMark();
  QCOMPARE(inkAt(image, x, y) > 128, inked);
}

void BrandIconTest::templateIconFollowsThePalette() {
  const QIcon icon = BrandIcon::makeTemplateIcon();
  QVERIFY(icon.isMask());
  const QPalette original = QGuiApplication::palette();
  for (const QColor& text : {QColor(Qt::white), QColor(20, 20, 20)}) {
    QPalette palette = original;
    palette.setColor(QPalette::WindowText, text);
    QGuiApplication::setPalette(palette);
    QCOMPARE(dominantInk(icon).rgb(), text.rgb());
  }
  QGuiApplication::setPalette(original);
}

void BrandIconTest::trayIconShowsOnLightAndDarkPanelsWhateverTheApplicationPalette() {
  const QPalette original = QGuiApplication::palette();
  QPalette light = original;
  light.setColor(QPalette::WindowText, QColor(20, 20, 20));  // a light theme's dark text
  QGuiApplication::setPalette(light);
  // The panel said its colour: the mark takes it, not the application's.
  QCOMPARE(dominantInk(BrandIcon::makeTrayIcon(QColor(Qt::white))).rgb(), QColor(Qt::white).rgb());
  // It did not: the badge contrasts with a white and with a black panel alike.
  const QImage icon = BrandIcon::makeTrayIcon(std::nullopt).pixmap(QSize(36, 36)).toImage();
  for (const QColor panel : {QColor(Qt::white), QColor(Qt::black)}) {
    QImage onPanel(icon.size(), QImage::Format_ARGB32);
    onPanel.fill(panel);
    QPainter(&onPanel).drawImage(0, 0, icon);
    int contrasting = 0;
    for (int y = 0; y < onPanel.height(); ++y) {
      for (int x = 0; x < onPanel.width(); ++x) {
        const QColor seen = onPanel.pixelColor(x, y);
        contrasting += std::abs(seen.lightness() - panel.lightness()) > 128 ? 1 : 0;
      }
    }
    QVERIFY2(contrasting > 100, qPrintable(panel.name()));
  }
  QGuiApplication::setPalette(original);
}

// The panel turns dark after launch: the mark in the tray is drawn again in its new colour.
void BrandIconTest::trayMarkFollowsALightDarkSwitch() {
  const QPalette original = QGuiApplication::palette();
  QColor panelText(20, 20, 20);
  MenuBarController tray([&panelText] { return std::optional(panelText); });
  panelText = QColor(235, 235, 235);
  QPalette dark = original;
  dark.setColor(QPalette::Window, QColor(30, 30, 30));
  QGuiApplication::setPalette(dark);
  QCOMPARE(dominantInk(tray.statusItem().icon()).rgb(), panelText.rgb());
  QGuiApplication::setPalette(original);
}

void BrandIconTest::everySymbolDrawsSomething_data() {
  QTest::addColumn<QString>("name");
  for (const char* name : {"xmark", "arrow.clockwise", "text.viewfinder", "sparkles",
                           "exclamationmark.triangle.fill", "plus.rectangle.on.rectangle", "doc.on.doc",
                           "text.insert", "chevron.right", "chevron.down", "no.such.symbol"}) {
    QTest::newRow(name) << QString::fromLatin1(name);
  }
  for (const PromptTemplate& tmpl : BuiltInTemplates::all()) {
    QTest::newRow(tmpl.id.c_str()) << QString::fromStdString(tmpl.iconName);
  }
}

void BrandIconTest::everySymbolDrawsSomething() {
  QFETCH(QString, name);
  QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  Symbol(name.toStdString()).paint(painter, QRectF(0, 0, 32, 32), Qt::black);
  painter.end();
  QVERIFY2(inkedPixels(image) > 20, qPrintable(name));
}

}  // namespace wrenfold

QTEST_MAIN(wrenfold::BrandIconTest)
#include "brand_icon_test.moc"
