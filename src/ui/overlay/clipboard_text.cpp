#include "ui/overlay/clipboard_text.h"

#include <QClipboard>
#include <QGuiApplication>

namespace wrenfold {

void copyPlainText(const std::string& text) {
  if (QClipboard* clipboard = QGuiApplication::clipboard()) {
    clipboard->setText(QString::fromStdString(text), QClipboard::Clipboard);
  }
}

}  // namespace wrenfold
