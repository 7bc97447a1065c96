// A window screenshot in its stages, on a 3000x1500 window: capture (X11WindowCapture, the path
// the desktop offers: XComposite under a compositing manager, else the root window), scaling
// to the JPEG size and to the preview size (QtImageCodec), and JPEG encoding. Prints each
// stage's median and its share of the whole.
//
// Run inside a desktop large enough for the window:
//   DESKTOP_SESSION_SCREEN=3200x1700x24 scripts/desktop-session build/bench/window_capture_bench
// and, for the XComposite path, with a compositing manager started first:
//   DESKTOP_SESSION_SCREEN=3200x1700x24 scripts/desktop-session sh -c
//     'xcompmgr & sleep 1; build/bench/window_capture_bench'

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/context/screenshot_reader.h"
#include "median_reporter.h"
#include "platform/linux/x11_pixels.h"
#include "platform/linux/x11_window_capture.h"
#include "platform/qt/qt_image_codec.h"

// After Qt, whose names the X11 macros (Bool, Status) would clash with.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

using wrenfold::Image;
using wrenfold::ScreenshotReader;

constexpr int kWidth = 3000;
constexpr int kHeight = 1500;
constexpr int kRepetitions = 10;

struct Fixture {
  wrenfold::X11WindowCapture capture;
  wrenfold::QtImageCodec codec;
  wrenfold::ShareableWindow window;
  Image captured;
  Image jpegSized;
};
Fixture* fixture = nullptr;

// A window of our own, painted with a gradient and fine stripes so the encoder has detail to
// work on, like a page of text and pictures.
Window paintWindow(Display* display) {
  const int screen = DefaultScreen(display);
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;  // exactly this size and place, whatever the manager thinks
  const Window window =
      XCreateWindow(display, RootWindow(display, screen), 0, 0, kWidth, kHeight, 0, CopyFromParent,
                    InputOutput, CopyFromParent, CWOverrideRedirect, &attributes);
  XMapRaised(display, window);
  XSync(display, False);
  XImage* image = XCreateImage(display, DefaultVisual(display, screen),
                               static_cast<unsigned>(DefaultDepth(display, screen)), ZPixmap, 0, nullptr,
                               kWidth, kHeight, 32, 0);
  image->data = static_cast<char*>(std::malloc(static_cast<std::size_t>(image->bytes_per_line) * kHeight));
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const unsigned long stripe = ((x / 3 + y / 7) % 5 == 0) ? 0x000000 : 0xFFFFFF;
      const unsigned long gradient = (static_cast<unsigned long>(x * 255 / kWidth) << 16U) |
                                     (static_cast<unsigned long>(y * 255 / kHeight) << 8U) | 0x80U;
      XPutPixel(image, x, y, (y % 100 < 60) ? stripe : gradient);
    }
  }
  const GC gc = XCreateGC(display, window, 0, nullptr);
  XPutImage(display, window, gc, image, 0, 0, 0, 0, kWidth, kHeight);
  XFreeGC(display, gc);
  XDestroyImage(image);
  XSync(display, False);
  return window;
}

void BM_Capture(benchmark::State& state) {
  for (auto _ : state) {
    auto image = fixture->capture.captureWindow(fixture->window, {kWidth, kHeight}, {});
    if (!image) {
      state.SkipWithError("capture failed");
      return;
    }
    fixture->captured = std::move(*image);
  }
}

void scaleTo(benchmark::State& state, int maxPixelSize) {
  const auto size = ScreenshotReader::reducedSize(kWidth, kHeight, maxPixelSize);
  for (auto _ : state) {
    auto image = fixture->codec.resized(fixture->captured, size->width, size->height);
    if (!image) {
      state.SkipWithError("scaling failed");
      return;
    }
    if (maxPixelSize == ScreenshotReader::kJpegMaxPixelSize) {
      fixture->jpegSized = std::move(*image);
    }
  }
}

void BM_ScaleForJpeg(benchmark::State& state) {
  scaleTo(state, ScreenshotReader::kJpegMaxPixelSize);
}

void BM_ScaleForPreview(benchmark::State& state) {
  scaleTo(state, ScreenshotReader::kPreviewMaxPixelSize);
}

void BM_EncodeJpeg(benchmark::State& state) {
  std::size_t bytes = 0;
  for (auto _ : state) {
    auto jpeg = fixture->codec.jpegData(fixture->jpegSized, ScreenshotReader::kJpegQuality);
    if (!jpeg) {
      state.SkipWithError("encoding failed");
      return;
    }
    bytes = jpeg->size();
  }
  state.counters["jpegBytes"] = static_cast<double>(bytes);
}

// The capture's pixel conversion on its own: the usual little-endian xRGB layout moved byte by
// byte, against the general mask-and-scale conversion every other layout takes (the same pixels
// stored big-endian).
void convertWith(benchmark::State& state, bool bigEndian) {
  const std::vector<std::uint8_t> pixels(static_cast<std::size_t>(kWidth) * kHeight * 4, 0x5A);
  for (auto _ : state) {
    auto image = wrenfold::imageFromXPixels(pixels, kWidth, kHeight, kWidth * 4, {.bigEndian = bigEndian});
    benchmark::DoNotOptimize(image.rgba.data());
  }
}

void BM_ConvertUsualLayout(benchmark::State& state) {
  convertWith(state, false);
}

void BM_ConvertGeneralLayout(benchmark::State& state) {
  convertWith(state, true);
}

void timeOncePerRepetition(benchmark::internal::Benchmark* b) {
  wrenfold::bench::oncePerRepetition(b, kRepetitions);
}

BENCHMARK(BM_ConvertUsualLayout)->Apply(timeOncePerRepetition);
BENCHMARK(BM_ConvertGeneralLayout)->Apply(timeOncePerRepetition);

// In pipeline order: each stage feeds the next.
BENCHMARK(BM_Capture)->Apply(timeOncePerRepetition);
BENCHMARK(BM_ScaleForJpeg)->Apply(timeOncePerRepetition);
BENCHMARK(BM_ScaleForPreview)->Apply(timeOncePerRepetition);
BENCHMARK(BM_EncodeJpeg)->Apply(timeOncePerRepetition);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "no X display: run under scripts/desktop-session\n");
    return 77;
  }
  const int screen = DefaultScreen(display);
  if (DisplayWidth(display, screen) < kWidth || DisplayHeight(display, screen) < kHeight) {
    std::fprintf(stderr,
                 "note: the screen (%dx%d) is smaller than the window; the root path leaves the rest white\n",
                 DisplayWidth(display, screen), DisplayHeight(display, screen));
  }
  const std::string selection = "_NET_WM_CM_S" + std::to_string(screen);
  const bool compositing = XGetSelectionOwner(display, XInternAtom(display, selection.c_str(), False)) != 0;
  std::printf("capture path: %s\n", compositing ? "XComposite (a compositing manager runs)" : "root window");

  std::array<char*, 2> qtArguments{argv[0], nullptr};
  int qtCount = 1;
  QGuiApplication application(qtCount, qtArguments.data());
  Fixture state;
  fixture = &state;
  state.window.windowID = paintWindow(display);
  state.window.frame = wrenfold::Rect{0, 0, kWidth, kHeight};
  state.window.isOnScreen = true;
  // Give a compositor time to name the new window's pixmap.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));

  wrenfold::bench::MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  const auto median = [&](const char* name) { return reporter.median(name); };
  const std::array<std::pair<const char*, double>, 4> stages{{
      {"capture", median("BM_Capture")},
      {"scale to 2048 (JPEG)", median("BM_ScaleForJpeg")},
      {"scale to 1200 (preview)", median("BM_ScaleForPreview")},
      {"JPEG encode", median("BM_EncodeJpeg")},
  }};
  double total = 0;
  for (const auto& stage : stages) {
    total += stage.second;
  }
  std::printf("\n%dx%d window, median ms per stage (share of %.1f ms):\n", kWidth, kHeight, total);
  for (const auto& stage : stages) {
    std::printf("  %-26s %8.2f  (%4.1f%%)\n", stage.first, stage.second,
                total > 0 ? 100.0 * stage.second / total : 0.0);
  }
  const double usual = median("BM_ConvertUsualLayout");
  const double general = median("BM_ConvertGeneralLayout");
  if (usual > 0) {
    std::printf("pixel conversion: general / usual layout %.1fx (%.2f ms against %.2f ms)\n", general / usual,
                general, usual);
  }
  XCloseDisplay(display);
  return 0;
}
