// Where the panel goes against the edges of the visible screen area (top-left coordinates).
#include <QTest>
#include <optional>

#include "core/overlay/overlay_placement.h"

Q_DECLARE_METATYPE(wrenfold::Rect)
Q_DECLARE_METATYPE(std::optional<wrenfold::Rect>)

namespace wrenfold {

class OverlayPlacementTest : public QObject {
  Q_OBJECT

 private slots:
  void placesByIntent_data();
  void placesByIntent();
  void keepsTheCaretLineVisible_data();
  void keepsTheCaretLineVisible();
  void convertsDevicePixelsOfScaledScreens_data();
  void convertsDevicePixelsOfScaledScreens();
};

void OverlayPlacementTest::placesByIntent_data() {
  QTest::addColumn<Rect>("visible");
  QTest::addColumn<std::optional<Rect>>("anchor");
  QTest::addColumn<double>("x");
  QTest::addColumn<double>("y");

  const Rect laptop{0, 25, 1440, 875};  // a top bar of 25 above the usable area
  using Anchor = std::optional<Rect>;
  QTest::newRow("room below: top edge 8 under the field")
      << laptop << Anchor(Rect{100, 200, 300, 24}) << 100.0 << 232.0;
  QTest::newRow("near the bottom: bottom edge 8 above the field")
      << laptop << Anchor(Rect{100, 800, 300, 24}) << 100.0 << 252.0;
  QTest::newRow("fits neither way: top edge at the visible top")
      << laptop << Anchor(Rect{100, 500, 300, 24}) << 100.0 << 25.0;
  QTest::newRow("exactly fits below: stays below")
      << Rect{0, 0, 1000, 900} << Anchor(Rect{300, 300, 10, 52}) << 300.0 << 360.0;
  QTest::newRow("far right: 12 inside the right edge")
      << laptop << Anchor(Rect{1400, 200, 30, 20}) << 868.0 << 228.0;
  QTest::newRow("far left: 12 inside the left edge")
      << laptop << Anchor(Rect{0, 200, 30, 20}) << 12.0 << 228.0;
  QTest::newRow("second screen to the right")
      << Rect{1440, 0, 1920, 1080} << Anchor(Rect{1500, 100, 200, 30}) << 1500.0 << 138.0;
  QTest::newRow("screen narrower than the panel: the left margin wins")
      << Rect{0, 0, 500, 900} << Anchor(Rect{40, 100, 30, 20}) << 12.0 << 128.0;
  QTest::newRow("no anchor: left edge at the centre, top edge 8 below it")
      << Rect{0, 0, 1920, 1400} << Anchor() << 960.0 << 708.0;
  QTest::newRow("no anchor on a short screen: top edge at the visible top")
      << Rect{0, 0, 1000, 1000} << Anchor() << 428.0 << 0.0;
}

void OverlayPlacementTest::placesByIntent() {
  QFETCH(Rect, visible);
  QFETCH(std::optional<Rect>, anchor);
  QFETCH(double, x);
  QFETCH(double, y);
  const Point origin = OverlayPlacement::origin(Size{560, 540}, visible, anchor);
  QCOMPARE(origin.x, x);
  QCOMPARE(origin.y, y);
}

// A caret line in a text area that fills the window: the panel must not cover that line.
void OverlayPlacementTest::keepsTheCaretLineVisible_data() {
  QTest::addColumn<Rect>("caret");
  QTest::addColumn<double>("x");
  QTest::addColumn<double>("y");

  // 1280 x 1024 screen; the panel is 560 x 540.
  QTest::newRow("room below: top edge 8 under the line") << Rect{300, 100, 9, 18} << 300.0 << 126.0;
  QTest::newRow("room above only: bottom edge 8 over the line") << Rect{300, 800, 9, 18} << 300.0 << 252.0;
  QTest::newRow("neither: to the right of the caret, centred on its line")
      << Rect{300, 500, 9, 18} << 317.0 << 239.0;
  QTest::newRow("neither, no room right: to its left") << Rect{900, 500, 9, 18} << 332.0 << 239.0;
  QTest::newRow("a tall selection: beside it, inside the screen") << Rect{640, 490, 0, 200} << 648.0 << 320.0;
  QTest::newRow("a selection is a caret line too") << Rect{100, 40, 400, 60} << 100.0 << 108.0;
}

void OverlayPlacementTest::keepsTheCaretLineVisible() {
  QFETCH(Rect, caret);
  QFETCH(double, x);
  QFETCH(double, y);
  const Rect screen{0, 0, 1280, 1024};
  const Point origin = OverlayPlacement::originAtCaret(Size{560, 540}, screen, caret);
  QCOMPARE(origin.x, x);
  QCOMPARE(origin.y, y);
  const bool coversLine = origin.y < caret.y + caret.height && origin.y + 540 > caret.y &&
                          origin.x < caret.x + caret.width && origin.x + 560 > caret.x;
  QVERIFY2(!coversLine, "the panel covers the caret");
  // A work area shorter than the panel (1080p at 200 %, under a top bar): the panel's top stays
  // in it, whatever the caret's height.
  for (const double caretY : {40.0, 250.0, 450.0}) {
    const Rect shortArea{0, 32, 960, 508};
    QCOMPARE(OverlayPlacement::originAtCaret(Size{560, 540}, shortArea, Rect{300, caretY, 9, 18}).y, 32.0);
  }
}

void OverlayPlacementTest::convertsDevicePixelsOfScaledScreens_data() {
  QTest::addColumn<Rect>("device");
  QTest::addColumn<Rect>("logical");

  QTest::newRow("unscaled screen: unchanged") << Rect{100, 200, 30, 20} << Rect{100, 200, 30, 20};
  QTest::newRow("scaled by 2: halved from the corner") << Rect{2000, 400, 40, 36} << Rect{1640, 200, 20, 18};
  QTest::newRow("off every screen: unchanged") << Rect{9000, 9000, 10, 10} << Rect{9000, 9000, 10, 10};
}

void OverlayPlacementTest::convertsDevicePixelsOfScaledScreens() {
  QFETCH(Rect, device);
  QFETCH(Rect, logical);
  // A 1280 x 1024 screen beside a 3840 x 2160 one at twice the density (1920 x 1080 logical).
  const std::vector<OverlayPlacement::Screen> screens{{Rect{0, 0, 1280, 1024}, 1},
                                                      {Rect{1280, 0, 1920, 1080}, 2}};
  const Rect result = OverlayPlacement::logicalFromDevice(device, screens);
  QCOMPARE(result.x, logical.x);
  QCOMPARE(result.y, logical.y);
  QCOMPARE(result.width, logical.width);
  QCOMPARE(result.height, logical.height);
}

}  // namespace wrenfold

QTEST_APPLESS_MAIN(wrenfold::OverlayPlacementTest)
#include "overlay_placement_test.moc"
