#include "platform/qt/qt_pasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHash>
#include <QMimeData>
#include <utility>

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

// Our written text: the toolkit reads it from here each time another program asks for it (on
// X11 a selection request), so each read of a text type is a fetch, unless it is our own.
class FetchedMimeData final : public QMimeData {
 public:
  explicit FetchedMimeData(std::shared_ptr<QtPasteboard::Fetches> fetches) : fetches_(std::move(fetches)) {}

 protected:
  QVariant retrieveData(const QString& type, QMetaType meta) const override {
    if (type.startsWith(QStringLiteral("text/")) && !fetches_->ownRead) {
      ++fetches_->count;
    }
    return QMimeData::retrieveData(type, meta);
  }

 private:
  std::shared_ptr<QtPasteboard::Fetches> fetches_;
};

// A restored clipboard, byte for byte: QMimeData itself rewrites some types it understands (a
// file list comes back percent-encoded, without its line ends).
class RawMimeData final : public QMimeData {
 public:
  void put(const QString& type, QByteArray bytes) {
    if (!bytes_.contains(type)) {
      types_.append(type);
    }
    bytes_.insert(type, std::move(bytes));
  }
  [[nodiscard]] QStringList formats() const override { return types_; }
  [[nodiscard]] bool hasFormat(const QString& type) const override { return bytes_.contains(type); }

 protected:
  QVariant retrieveData(const QString& type, QMetaType) const override { return bytes_.value(type); }

 private:
  QStringList types_;
  QHash<QString, QByteArray> bytes_;
};

// Marks the reads of this process, so they are not taken for another program's fetch.
class OwnRead {
 public:
  explicit OwnRead(QtPasteboard::Fetches& fetches) : fetches_(fetches) { fetches_.ownRead = true; }
  ~OwnRead() { fetches_.ownRead = false; }
  OwnRead(const OwnRead&) = delete;
  OwnRead& operator=(const OwnRead&) = delete;

 private:
  QtPasteboard::Fetches& fetches_;
};

}  // namespace

QtPasteboard::QtPasteboard(Reader reader, bool onMainThread)
    : reader_(std::move(reader)), onMainThread_(onMainThread) {}

QtPasteboard::~QtPasteboard() {
  // The reader gives up within its own deadline.
  if (worker_.joinable()) {
    worker_.join();
  }
}

void QtPasteboard::readItems(ItemsHandler done) {
  // Our own content needs no transfer (and the main thread would have to answer it).
  if (!reader_ || (clipboard() && clipboard()->ownsClipboard())) {
    done(items());
    return;
  }
  if (onMainThread_) {
    done(reader_());
    return;
  }
  if (worker_.joinable()) {
    worker_.join();  // the previous read, normally long finished
  }
  worker_ = std::thread([this, done = std::move(done)]() mutable {
    auto items = reader_();
    QMetaObject::invokeMethod(
        &receiver_, [done = std::move(done), items = std::move(items)]() mutable { done(std::move(items)); },
        Qt::QueuedConnection);
  });
}

std::optional<std::int64_t> QtPasteboard::textFetches() {
  return fetches_->count;
}

std::vector<PasteboardItem> QtPasteboard::items() {
  const OwnRead own(*fetches_);
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
  const OwnRead own(*fetches_);
  const QMimeData* data = clipboard() ? clipboard()->mimeData(QClipboard::Clipboard) : nullptr;
  if (data == nullptr || !data->hasText()) {
    return std::nullopt;
  }
  return text::repairUtf8(data->text().toStdString());
}

std::optional<std::vector<std::uint8_t>> QtPasteboard::data(std::string_view type) {
  const OwnRead own(*fetches_);
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
  auto* data = new FetchedMimeData(fetches_);  // the clipboard takes ownership
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
  auto* data = new RawMimeData;
  if (!items.empty()) {
    for (const auto& [type, bytes] : items.front().representations) {
      data->put(QString::fromStdString(type), QByteArray(reinterpret_cast<const char*>(bytes.data()),
                                                         static_cast<qsizetype>(bytes.size())));
    }
  }
  clipboard()->setMimeData(data, QClipboard::Clipboard);
  return true;
}

}  // namespace wrenfold
