// Where the panel goes against the edges of the visible screen area (top-left coordinates).
#include <QTest>
#include <optional>

#include "ui/overlay/overlay_placement.h"

Q_DECLARE_METATYPE(wrenfold::Rect)
Q_DECLARE_METATYPE(std::optional<wrenfold::Rect>)

namespace wrenfold {

class OverlayPlacementTest : public QObject {
  Q_OBJECT

 private slots:
  void placesByIntent_data();
  void placesByIntent();
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
  QTest::newRow("screen narrower than the panel: the right margin wins")
      << Rect{0, 0, 500, 900} << Anchor(Rect{40, 100, 30, 20}) << -72.0 << 128.0;
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

}  // namespace wrenfold

QTEST_APPLESS_MAIN(wrenfold::OverlayPlacementTest)
#include "overlay_placement_test.moc"
