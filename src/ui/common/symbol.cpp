#include "ui/common/symbol.h"

#include <QGuiApplication>
#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <algorithm>
#include <array>
#include <utility>
#include <vector>

namespace wrenfold {
namespace {

constexpr double kCanvas = 16.0;

// Monochrome ("-symbolic") theme names only: they can be tinted like our own strokes, where
// full-colour icons would clash with the panel's text colours.
const std::vector<std::string_view>& themeNames(std::string_view symbol) {
  static const std::vector<std::pair<std::string_view, std::vector<std::string_view>>> kNames = {
      {"xmark", {"window-close-symbolic"}},
      {"arrow.clockwise", {"view-refresh-symbolic"}},
      {"exclamationmark.triangle.fill", {"dialog-warning-symbolic"}},
      {"doc.on.doc", {"edit-copy-symbolic"}},
      {"text.insert", {"insert-text-symbolic"}},
      {"chevron.right", {"pan-end-symbolic", "go-next-symbolic"}},
      {"chevron.down", {"pan-down-symbolic", "go-down-symbolic"}},
      {"arrowshape.turn.up.left", {"mail-reply-sender-symbolic"}},
      {"text.alignleft", {"format-justify-left-symbolic"}},
      {"character.book.closed", {"accessories-dictionary-symbolic"}},
      {"globe", {"web-browser-symbolic"}},
      {"list.bullet", {"view-list-bullet-symbolic", "view-list-symbolic"}},
  };
  static const std::vector<std::string_view> kNone;
  auto it = std::ranges::find_if(kNames, [&](const auto& entry) { return entry.first == symbol; });
  return it == kNames.end() ? kNone : it->second;
}

// A theme may list an icon it cannot render (an SVG without Qt's SVG plugin): only an icon
// that paints something counts.
bool paintsSomething(const QIcon& icon) {
  const QImage image = icon.pixmap(QSize(16, 16)).toImage().convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (qAlpha(image.pixel(x, y)) > 0) {
        return true;
      }
    }
  }
  return false;
}

QIcon themeIcon(std::string_view symbol) {
  std::vector<QString> candidates;
  for (std::string_view name : themeNames(symbol)) {
    candidates.push_back(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
  }
  // User templates may already name a freedesktop icon.
  if (candidates.empty() && symbol.ends_with("-symbolic")) {
    candidates.push_back(QString::fromUtf8(symbol.data(), static_cast<qsizetype>(symbol.size())));
  }
  for (const QString& name : candidates) {
    if (!QIcon::hasThemeIcon(name)) {
      continue;
    }
    QIcon icon = QIcon::fromTheme(name);
    if (paintsSomething(icon)) {
      return icon;
    }
  }
  return {};
}

void paintTinted(QPainter& painter, const QIcon& icon, const QRectF& rect, const QColor& color) {
  const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
  const QSize size = (rect.size() * ratio).toSize();
  QPixmap pixmap = icon.pixmap(size);
  {
    QPainter tint(&pixmap);
    tint.setCompositionMode(QPainter::CompositionMode_SourceIn);
    tint.fillRect(pixmap.rect(), color);
  }
  pixmap.setDevicePixelRatio(ratio);
  painter.drawPixmap(rect, pixmap, QRectF(pixmap.rect()));
}

// Our drawings go through a transparent pixmap: the knocked-out marks must clear only the
// symbol's own pixels, never what lies under it.
void paintOnOwnCanvas(QPainter& painter, std::string_view name, const QRectF& rect, const QColor& color) {
  const qreal ratio = painter.device() != nullptr ? painter.device()->devicePixelRatioF() : 1.0;
  const QSize pixels = (rect.size() * ratio).toSize().expandedTo(QSize(1, 1));
  QPixmap pixmap(pixels);
  pixmap.fill(Qt::transparent);
  {
    QPainter canvas(&pixmap);
    canvas.setRenderHint(QPainter::Antialiasing);
    canvas.scale(pixels.width() / kCanvas, pixels.height() / kCanvas);
    drawSymbol(canvas, name, color);
  }
  pixmap.setDevicePixelRatio(ratio);
  painter.drawPixmap(rect, pixmap, QRectF(pixmap.rect()));
}

}  // namespace

Symbol::Symbol(std::string name) : name_(std::move(name)), themeIcon_(themeIcon(name_)) {}

void Symbol::paint(QPainter& painter, const QRectF& rect, const QColor& color) const {
  if (!themeIcon_.isNull()) {
    paintTinted(painter, themeIcon_, rect, color);
    return;
  }
  if (symbolNeedsOwnCanvas(name_)) {
    paintOnOwnCanvas(painter, name_, rect, color);
    return;
  }
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.translate(rect.topLeft());
  painter.scale(rect.width() / kCanvas, rect.height() / kCanvas);
  if (!drawSymbol(painter, name_, color)) {
    drawSymbol(painter, "circle.dashed", color);
  }
  painter.restore();
}

QColor symbolColor(QIcon::Mode mode) {
  const QPalette palette = QGuiApplication::palette();
  if (mode == QIcon::Disabled) {
    return palette.color(QPalette::Disabled, QPalette::WindowText);
  }
  if (mode == QIcon::Selected) {
    return palette.color(QPalette::Active, QPalette::HighlightedText);
  }
  return palette.color(QPalette::Active, QPalette::WindowText);
}

namespace {

class SymbolEngine final : public PaintedIconEngine {
 public:
  explicit SymbolEngine(std::string name) : symbol_(std::move(name)) {}

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
    symbol_.paint(*painter, QRectF(rect), symbolColor(mode));
  }

  QIconEngine* clone() const override { return new SymbolEngine(symbol_.name()); }
  QString key() const override { return QStringLiteral("wrenfold-symbol"); }

 private:
  Symbol symbol_;
};

}  // namespace

QPixmap PaintedIconEngine::pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) {
  QPixmap pixmap(size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  paint(&painter, QRect(QPoint(0, 0), size), mode, state);
  return pixmap;
}

QIcon symbolIcon(std::string name) {
  return QIcon(new SymbolEngine(std::move(name)));  // the icon owns its engine
}

}  // namespace wrenfold
