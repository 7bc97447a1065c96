// The Qt adapters on the offscreen platform: no display needed.
#include <QClipboard>
#include <QColor>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>

#include <gtest/gtest.h>

#include "platform/qt/qt_image_codec.h"
#include "platform/qt/qt_main_queue.h"
#include "platform/qt/qt_pasteboard.h"

namespace wrenfold {
namespace {

Image solid(int w, int h, std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a) {
  Image image{w, h, {}};
  for (int i = 0; i < w * h; ++i) {
    image.rgba.insert(image.rgba.end(), {r, g, b, a});
  }
  return image;
}

TEST(QtImageCodec, ResizesSmoothlyAndEncodesADecodableJpeg) {
  QtImageCodec codec;
  Image stripes{4, 1, {0, 0, 0, 255, 255, 255, 255, 255, 0, 0, 0, 255, 255, 255, 255, 255}};
  auto half = codec.resized(stripes, 2, 1);
  ASSERT_TRUE(half.has_value());
  EXPECT_EQ(half->width, 2);
  EXPECT_EQ(half->rgba.size(), 8u);
  // Smooth scaling averages neighbours instead of picking one of them.
  EXPECT_GT(half->rgba[0], 40);
  EXPECT_LT(half->rgba[0], 215);

  auto jpeg = codec.jpegData(solid(64, 32, 255, 0, 0, 0), 0.82);  // fully transparent red
  ASSERT_TRUE(jpeg.has_value());
  ASSERT_GE(jpeg->size(), 4u);
  EXPECT_EQ((*jpeg)[0], 0xFF);
  EXPECT_EQ((*jpeg)[1], 0xD8);
  QImage decoded;
  ASSERT_TRUE(decoded.loadFromData(jpeg->data(), static_cast<int>(jpeg->size()), "JPEG"));
  EXPECT_EQ(decoded.size(), QSize(64, 32));
  EXPECT_GT(qRed(decoded.pixel(10, 10)), 240);  // flattened on white
  EXPECT_GT(qGreen(decoded.pixel(10, 10)), 240);

  // Opaque pixels keep their colour, channel for channel; half-transparent black is grey on white.
  const auto decodedCentre = [&codec](const Image& image) {
    auto data = codec.jpegData(image, 0.82);
    QImage out;
    EXPECT_TRUE(data && out.loadFromData(data->data(), static_cast<int>(data->size()), "JPEG"));
    return out.isNull() ? QColor() : out.pixelColor(32, 16);
  };
  const QColor blue = decodedCentre(solid(64, 32, 30, 90, 200, 255));
  EXPECT_NEAR(blue.red(), 30, 6);
  EXPECT_NEAR(blue.green(), 90, 6);
  EXPECT_NEAR(blue.blue(), 200, 6);
  EXPECT_NEAR(decodedCentre(solid(64, 32, 0, 0, 0, 128)).green(), 127, 6);

  EXPECT_FALSE(codec.resized(Image{2, 2, {1, 2, 3}}, 1, 1).has_value());  // short buffer
  EXPECT_FALSE(codec.jpegData(Image{}, 0.8).has_value());
}

TEST(QtMainQueue, RunsPostedTasksInOrderAndDelayedOnesLater) {
  QtMainQueue queue;
  std::vector<int> order;
  queue.postAfter(std::chrono::milliseconds(30), [&] { order.push_back(3); });
  queue.post([&] { order.push_back(1); });
  std::thread worker([&] { queue.post([&] { order.push_back(2); }); });
  worker.join();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (order.size() < 3 && std::chrono::steady_clock::now() < deadline) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(QtPasteboard, SnapshotKeepsRealFormatsAndRestoresThem) {
  QtPasteboard pasteboard;
  auto* data = new QMimeData;
  data->setText("plain 文本");
  data->setHtml("<b>rich</b>");
  data->setData("application/x-custom", QByteArray("\x00\x01\x02", 3));
  QGuiApplication::clipboard()->setMimeData(data);

  const auto snapshot = pasteboard.items();
  ASSERT_EQ(snapshot.size(), 1u);
  std::vector<std::string> types;
  for (const auto& [type, bytes] : snapshot[0].representations) {
    types.push_back(type);
    EXPECT_NE(type.find('/'), std::string::npos);
  }
  EXPECT_NE(std::ranges::find(types, "text/html"), types.end());
  EXPECT_NE(std::ranges::find(types, "application/x-custom"), types.end());

  ASSERT_TRUE(pasteboard.setString("candidate", ClipboardHistory::skip));
  EXPECT_EQ(pasteboard.string(), "candidate");
  EXPECT_EQ(QGuiApplication::clipboard()->mimeData()->data("x-kde-passwordManagerHint"), "secret");

  ASSERT_TRUE(pasteboard.writeItems(snapshot));
  const QMimeData* restored = QGuiApplication::clipboard()->mimeData();
  EXPECT_EQ(restored->text().toStdString(), "plain 文本");
  EXPECT_EQ(restored->html().toStdString(), "<b>rich</b>");
  EXPECT_EQ(restored->data("application/x-custom"), QByteArray("\x00\x01\x02", 3));
  EXPECT_FALSE(restored->hasFormat("x-kde-passwordManagerHint"));
}

}  // namespace
}  // namespace wrenfold

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
