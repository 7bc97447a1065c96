// Owns the CLIPBOARD selection with several formats at once, as a browser's or a password
// manager's copy does (xclip serves only one target per process):
//
//   clipboard_owner --text TEXT [--html HTML] [--hint VALUE] --report FILE
//
// --hint adds x-kde-passwordManagerHint with VALUE, as KeePassXC does for a copied password.
//
// Writes "ready" to FILE once it owns the selection, then serves it until SIGTERM.
#include <signal.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QSaveFile>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  QString text;
  QString html;
  QString hint;
  QString report;
  for (int i = 1; i + 1 < argc; i += 2) {
    const QString value = QString::fromUtf8(argv[i + 1]);
    if (std::strcmp(argv[i], "--text") == 0) {
      text = value;
    } else if (std::strcmp(argv[i], "--html") == 0) {
      html = value;
    } else if (std::strcmp(argv[i], "--hint") == 0) {
      hint = value;
    } else if (std::strcmp(argv[i], "--report") == 0) {
      report = value;
    }
  }
  if (report.isEmpty()) {
    std::fputs("usage: clipboard_owner --text TEXT [--html HTML] [--hint VALUE] --report FILE\n", stderr);
    return 2;
  }
  // No accessibility tree: this program is not under test.
  qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "0");
  QGuiApplication application(argc, argv);
  signal(SIGTERM, [](int) { std::_Exit(0); });

  auto* data = new QMimeData;
  data->setText(text);
  if (!html.isEmpty()) {
    data->setHtml(html);
  }
  if (!hint.isEmpty()) {
    data->setData(QStringLiteral("x-kde-passwordManagerHint"), hint.toUtf8());
  }
  QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);

  QSaveFile file(report);
  if (!file.open(QIODevice::WriteOnly) || file.write("ready") != 5 || !file.commit()) {
    std::fprintf(stderr, "clipboard_owner: cannot write %s\n", qPrintable(report));
    return 1;
  }
  return QGuiApplication::exec();
}
