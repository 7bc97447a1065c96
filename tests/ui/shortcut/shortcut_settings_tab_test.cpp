// The "快捷键" tab on the offscreen platform, with the trigger's ports in memory.
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include "ui/shortcut/shortcut_settings_tab.h"

#include <gtest/gtest.h>

#include "core/records/key_code_table.h"
#include "fakes/trigger_harness.h"
#include "ui/shortcut/shortcut_recorder.h"

namespace wrenfold {
namespace {

constexpr Shortcut kAltSpace{kMacKeySpace, kCarbonOption};
const std::string kKey = "ShortcutRegistry_showAssistant";

class ShortcutSettingsTabTest : public ::testing::Test {
 protected:
  ShortcutSettingsTabTest() {
    controller_.start();
    tab_ = std::make_unique<ShortcutSettingsTab>(h_.registry, controller_);
    tab_->show();
    tab_->activateWindow();
    QApplication::setActiveWindow(tab_.get());
    recorder_ = tab_->findChild<ShortcutRecorder*>("shortcutRecorder");
    label_ = tab_->findChild<QLabel*>("defaultTriggerLabel");
    restore_ = tab_->findChild<QPushButton*>("restoreDefaultButton");
  }

  // A key as the fake hot keys spell native events: the macOS code and the Carbon mask.
  void press(const Shortcut& key) {
    startRecording();
    send(key);
  }
  // As the user asks for it: Space on the focused recorder.
  void startRecording() {
    recorder_->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(recorder_->hasFocus());
    if (!recorder_->isRecording()) {
      QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
      QApplication::sendEvent(recorder_, &space);
    }
    ASSERT_TRUE(recorder_->isRecording());
  }
  void send(const Shortcut& key, int qtKey = Qt::Key_unknown, Qt::KeyboardModifiers modifiers = {}) {
    QKeyEvent event(QEvent::KeyPress, qtKey, modifiers, key.carbonKeyCode, 0, key.carbonModifiers);
    QApplication::sendEvent(recorder_, &event);
  }

  testing::TriggerHarness h_;
  HotkeyController controller_{h_.monitor, h_.registry, h_.queue, h_.clock};
  std::unique_ptr<ShortcutSettingsTab> tab_;
  ShortcutRecorder* recorder_ = nullptr;
  QLabel* label_ = nullptr;
  QPushButton* restore_ = nullptr;
};

TEST_F(ShortcutSettingsTabTest, RecordingSwitchesTheDoubleTapOffAndRestoringTheDefaultBringsItBack) {
  ASSERT_TRUE(recorder_ && label_ && restore_);
  EXPECT_EQ(label_->text(), "双击 Alt");
  EXPECT_EQ(label_->foregroundRole(), QPalette::WindowText);
  EXPECT_FALSE(restore_->isEnabled());
  EXPECT_TRUE(h_.monitor.isRunning());

  press(kAltSpace);
  EXPECT_EQ(h_.defaults.string(kKey), R"({"carbonKeyCode":49,"carbonModifiers":2048})");
  EXPECT_FALSE(h_.monitor.isRunning());
  EXPECT_FALSE(recorder_->isRecording()) << "recording ends";
  EXPECT_EQ(recorder_->text(), "Alt+Space");
  EXPECT_EQ(label_->foregroundRole(), QPalette::PlaceholderText);
  EXPECT_TRUE(restore_->isEnabled());
  EXPECT_EQ(h_.hotKeys.registered(), std::vector{kAltSpace}) << "registered once the recorder lets go";

  restore_->click();
  EXPECT_FALSE(h_.defaults.contains(kKey));
  EXPECT_TRUE(h_.monitor.isRunning());
  EXPECT_FALSE(restore_->isEnabled());
  EXPECT_TRUE(h_.hotKeys.registered().empty());
}

TEST_F(ShortcutSettingsTabTest, KeysTheRulesRefuseStoreNothing) {
  h_.hotKeys.takeByAnotherApplication({0x28, kCarbonControl | kCarbonOption});
  for (const Shortcut key :
       {Shortcut{0x00, 0}, Shortcut{0x00, kCarbonShift}, Shortcut{kMacKeyQ, kCarbonControl},
        Shortcut{0x28, kCarbonControl | kCarbonOption}, Shortcut{0x7F, kCarbonControl}}) {
    press(key);
    EXPECT_FALSE(h_.defaults.contains(kKey)) << describeShortcut(key);
    EXPECT_TRUE(recorder_->isRecording()) << "still recording after " << describeShortcut(key);
  }
  EXPECT_TRUE(h_.monitor.isRunning());
}

TEST_F(ShortcutSettingsTabTest, WhileRecordingTheStoredShortcutIsReleasedSoItsKeysReachTheRecorder) {
  ASSERT_TRUE(h_.registry.setShortcut(kAltSpace, kShowAssistant));
  startRecording();
  EXPECT_TRUE(h_.hotKeys.registered().empty());
  EXPECT_EQ(recorder_->text(), "请按下快捷键…");

  send({kMacKeyEscape, 0});
  EXPECT_FALSE(recorder_->isRecording());
  EXPECT_EQ(h_.hotKeys.registered(), std::vector{kAltSpace});

  press({kMacKeyDelete, 0});
  EXPECT_FALSE(h_.defaults.contains(kKey));
  h_.queue.runPending();
  EXPECT_EQ(recorder_->text(), "请按下快捷键…");
}

TEST_F(ShortcutSettingsTabTest, TabbingOntoTheRecorderRecordsNothingUntilAsked) {
  constexpr Shortcut kCtrlTab{kMacKeyTab, kCarbonControl};
  recorder_->setFocus(Qt::TabFocusReason);  // moving to the tab can hand the recorder the focus
  ASSERT_TRUE(recorder_->hasFocus());
  EXPECT_FALSE(recorder_->isRecording());
  EXPECT_EQ(recorder_->text(), "录制快捷键");
  for (int i = 0; i < 2; ++i) {
    send(kCtrlTab, Qt::Key_Tab, Qt::ControlModifier);
  }
  EXPECT_FALSE(h_.defaults.contains(kKey));
  EXPECT_TRUE(h_.monitor.isRunning()) << "the double tap stays on";

  QKeyEvent returnKey(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
  QApplication::sendEvent(recorder_, &returnKey);
  EXPECT_TRUE(recorder_->isRecording());
  EXPECT_EQ(recorder_->text(), "请按下快捷键…");
  send(kCtrlTab, Qt::Key_Tab, Qt::ControlModifier);
  EXPECT_EQ(h_.defaults.string(kKey), R"({"carbonKeyCode":48,"carbonModifiers":4096})");
}

TEST_F(ShortcutSettingsTabTest, AStoreThatFailsLeavesTheDoubleTapOn) {
  h_.defaults.setFailsWrites(true);
  press(kAltSpace);
  EXPECT_TRUE(h_.monitor.isRunning());
  EXPECT_FALSE(restore_->isEnabled());
}

}  // namespace
}  // namespace wrenfold

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
