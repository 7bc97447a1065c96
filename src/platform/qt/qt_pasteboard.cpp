#include "platform/qt/qt_pasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include "core/text/text.h"

namespace wrenfold {
namespace {

// KDE's Klipper and most clipboard managers skip entries carrying this hint.
const QString kPasswordManagerHint = QString::fromLatin1(
    kPasswordManagerHintType.data(), static_cast<qsizetype>(kPasswordManagerHintType.size()));

QClipboard* clipboard() {
  return QGuiApplication::clipboard();
}

// MIME types only: bare atom names are X11 plumbing that Qt derives from the MIME data.
bool isRealFormat(const QString& format) {
  return format.contains(u'/') || format == kPasswordManagerHint;
}

}  // namespace

std::vector<PasteboardItem> QtPasteboard::items() {
  const QMimeData* data = clipboard() ? clipboard()->mimeData(QClipboard::Clipboard) : nullptr;
  if (data == nullptr) {
    return {};
  }
  PasteboardItem item;
  std::size_t total = 0;
  for (const QString& format : data->formats()) {
    if (!isRealFormat(format) || item.representations.size() >= kMaxFormats) {
      continue;
    }
    const QByteArray bytes = data->data(format);
    const auto size = static_cast<std::size_t>(bytes.size());
    if (size > kMaxBytesPerFormat || total + size > kMaxTotalBytes) {
      continue;
    }
    total += size;
    item.representations.emplace_back(format.toStdString(),
                                      std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
  }
  if (item.representations.empty()) {
    return {};
  }
  return {std::move(item)};
}

std::optional<std::string> QtPasteboard::string() {
  const QMimeData* data = clipboard() ? clipboard()->mimeData(QClipboard::Clipboard) : nullptr;
  if (data == nullptr || !data->hasText()) {
    return std::nullopt;
  }
  return text::repairUtf8(data->text().toStdString());
}

std::optional<std::vector<std::uint8_t>> QtPasteboard::data(std::string_view type) {
  const QMimeData* mime = clipboard() ? clipboard()->mimeData(QClipboard::Clipboard) : nullptr;
  const QString format = QString::fromUtf8(type.data(), static_cast<qsizetype>(type.size()));
  if (mime == nullptr || !mime->hasFormat(format)) {
    return std::nullopt;
  }
  const QByteArray bytes = mime->data(format);
  return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

void QtPasteboard::clearContents() {
  if (clipboard()) {
    clipboard()->clear(QClipboard::Clipboard);
  }
}

bool QtPasteboard::setString(std::string_view text, ClipboardHistory history) {
  if (!clipboard()) {
    return false;
  }
  auto* data = new QMimeData;  // the clipboard takes ownership
  data->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
  if (history == ClipboardHistory::skip) {
    data->setData(kPasswordManagerHint, QByteArrayLiteral("secret"));
  }
  clipboard()->setMimeData(data, QClipboard::Clipboard);
  return true;
}

bool QtPasteboard::writeItems(const std::vector<PasteboardItem>& items) {
  if (!clipboard()) {
    return false;
  }
  // The desktop clipboard holds one item; further items have no place to go.
  auto* data = new QMimeData;
  if (!items.empty()) {
    for (const auto& [type, bytes] : items.front().representations) {
      data->setData(QString::fromStdString(type), QByteArray(reinterpret_cast<const char*>(bytes.data()),
                                                             static_cast<qsizetype>(bytes.size())));
    }
  }
  clipboard()->setMimeData(data, QClipboard::Clipboard);
  return true;
}

}  // namespace wrenfold
