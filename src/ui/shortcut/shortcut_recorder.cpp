#include "ui/shortcut/shortcut_recorder.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QStyle>
#include <QToolButton>
#include <array>

#include "core/trigger/shortcut_recorder_rules.h"

namespace wrenfold {
namespace {

constexpr int kMinimumWidth = 180;

QString qt(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Keys that only modify: the recorder waits for the key they go with.
bool isModifierKey(int key) {
  constexpr std::array kModifierKeys{
      Qt::Key_Shift,   Qt::Key_Control,    Qt::Key_Alt,        Qt::Key_Meta,    Qt::Key_AltGr,
      Qt::Key_Super_L, Qt::Key_Super_R,    Qt::Key_Hyper_L,    Qt::Key_Hyper_R, Qt::Key_CapsLock,
      Qt::Key_NumLock, Qt::Key_ScrollLock, Qt::Key_Mode_switch};
  return std::ranges::find(kModifierKeys, key) != kModifierKeys.end();
}

}  // namespace

void showShortcutAlert(QWidget* parent, const QString& text, const QString& detail) {
  // Not waited for: the recorder keeps its state and gets the focus back when it closes.
  auto* box = new QMessageBox(QMessageBox::Warning, "快捷键", text, QMessageBox::Ok, parent);
  box->setInformativeText(detail);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
}

ShortcutRecorder::ShortcutRecorder(ShortcutRegistry& registry, ShortcutRegistry::Name name,
                                   ChangeHandler onChange, QWidget* parent)
    : QWidget(parent),
      registry_(registry),
      name_(std::move(name)),
      onChange_(std::move(onChange)),
      label_(new QLabel(this)),
      clearButton_(new QToolButton(this)) {
  setObjectName("shortcutRecorder");
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_InputMethodEnabled, false);  // keys, not text
  setMinimumWidth(kMinimumWidth);
  setAutoFillBackground(true);
  setBackgroundRole(QPalette::Base);

  setToolTip("点击或按空格键后录制新的快捷键");
  clearButton_->setObjectName("clearShortcutButton");
  clearButton_->setIcon(style()->standardIcon(QStyle::SP_LineEditClearButton));
  clearButton_->setAutoRaise(true);
  clearButton_->setFocusPolicy(Qt::NoFocus);
  clearButton_->setToolTip("清除快捷键");
  clearButton_->setAccessibleName("清除快捷键");
  connect(clearButton_, &QToolButton::clicked, this, [this] { clearShortcut(); });

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(8, 3, 3, 3);
  layout->addWidget(label_, 1);
  layout->addWidget(clearButton_);

  observer_ = registry_.notificationCenter().addObserver(
      std::string(ShortcutRegistry::kShortcutDidChange), [this](const Notification& notification) {
        const auto it = notification.userInfo.find("name");
        if (it != notification.userInfo.end() && it->second == name_.rawValue) {
          refresh();
        }
      });
  refresh();
}

ShortcutRecorder::~ShortcutRecorder() {
  registry_.notificationCenter().removeObserver(observer_);
  registry_.setPaused(false);
}

QString ShortcutRecorder::text() const {
  return label_->text();
}

bool ShortcutRecorder::event(QEvent* event) {
  // Key presses are taken here, before QWidget turns Tab into a focus change.
  if (event->type() == QEvent::KeyPress && hasFocus()) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (recording_ && record(key)) {
      return true;
    }
    const bool plain = (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (!recording_ && plain &&
        (key->key() == Qt::Key_Space || key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
      startRecording();
      return true;
    }
  }
  if (event->type() == QEvent::ShortcutOverride && recording_) {
    event->accept();  // the window's own shortcuts must not steal the key being recorded
    return true;
  }
  return QWidget::event(event);
}

void ShortcutRecorder::focusInEvent(QFocusEvent* event) {
  if (recording_) {
    registry_.setPaused(true);  // back from an alert or another window, still recording
  }
  refresh();
  QWidget::focusInEvent(event);
}

void ShortcutRecorder::focusOutEvent(QFocusEvent* event) {
  registry_.setPaused(false);  // the desktop's shortcuts work again while we are away
  if (event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason) {
    recording_ = false;  // focus moved on inside the window: recording ends
  }
  refresh();
  QWidget::focusOutEvent(event);
}

void ShortcutRecorder::mousePressEvent(QMouseEvent* event) {
  setFocus(Qt::MouseFocusReason);
  startRecording();
  QWidget::mousePressEvent(event);
}

void ShortcutRecorder::startRecording() {
  if (!hasFocus()) {
    setFocus(Qt::OtherFocusReason);
  }
  recording_ = true;
  registry_.setPaused(true);
  refresh();
}

void ShortcutRecorder::stopRecording() {
  recording_ = false;
  registry_.setPaused(false);
  refresh();
}

bool ShortcutRecorder::record(QKeyEvent* key) {
  if (key->isAutoRepeat() || isModifierKey(key->key())) {
    return true;
  }
  const auto shortcut = registry_.shortcutForNativeKey(key->nativeScanCode(), key->nativeModifiers());
  if (!shortcut) {
    QApplication::beep();
    return true;
  }
  const auto verdict = judgeRecordedKey(
      *shortcut, [this](const Shortcut& s) { return registry_.isTakenByAnotherApplication(s); });
  using Action = RecorderVerdict::Action;
  switch (verdict.action) {
    case Action::endAndPassOn:
      stopRecording();
      return false;
    case Action::endAndSwallow:
      stopRecording();
      break;
    case Action::clear:
      clearShortcut();
      break;
    case Action::beep:
      QApplication::beep();
      break;
    case Action::usedByMenuItem:
      showShortcutAlert(
          window(),
          QString("这个快捷键已被 Wrenfold 的菜单项“%1”使用，请换一个。").arg(qt(verdict.menuItemTitle)));
      break;
    case Action::usedByApplication:
      showShortcutAlert(window(), "这个快捷键已被其他程序占用，请换一个。",
                        "可以在桌面环境的键盘快捷键设置中查看或释放它。");
      break;
    case Action::record:
      store(*shortcut);
      break;
  }
  return true;
}

void ShortcutRecorder::store(const Shortcut& shortcut) {
  if (const auto stored = registry_.setShortcut(shortcut, name_); !stored) {
    showShortcutAlert(window(), "无法保存快捷键。", qt(stored.error().localizedDescription()));
    return;
  }
  refresh();
  stopRecording();
  if (onChange_) {
    onChange_(shortcut);
  }
}

void ShortcutRecorder::clearShortcut() {
  if (const auto cleared = registry_.setShortcut(std::nullopt, name_); !cleared) {
    showShortcutAlert(window(), "无法清除快捷键。", qt(cleared.error().localizedDescription()));
    return;
  }
  refresh();
  if (onChange_) {
    onChange_(std::nullopt);
  }
}

void ShortcutRecorder::refresh() {
  const auto shortcut = registry_.getShortcut(name_);
  const bool recording = recording_;
  if (recording) {
    label_->setText("请按下快捷键…");
  } else {
    label_->setText(shortcut ? qt(describeShortcut(*shortcut)) : QString("录制快捷键"));
  }
  label_->setForegroundRole(recording  ? QPalette::Highlight
                            : shortcut ? QPalette::Text
                                       : QPalette::PlaceholderText);
  clearButton_->setVisible(shortcut.has_value());
  setAccessibleName(shortcut ? "唤起 Wrenfold 的快捷键：" + qt(describeShortcut(*shortcut)) : "录制快捷键");
}

}  // namespace wrenfold
