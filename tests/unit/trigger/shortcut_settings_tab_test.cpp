// The "快捷键" tab on the offscreen platform, with the trigger's ports in memory.
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include "ui/shortcut/shortcut_settings_tab.h"

#include <gtest/gtest.h>

#include "core/trigger/key_code_table.h"
#include "trigger_harness.h"
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
    recorder_->setFocus(Qt::OtherFocusReason);
    ASSERT_TRUE(recorder_->hasFocus());
    QKeyEvent event(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, key.carbonKeyCode, 0,
                    key.carbonModifiers);
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
  EXPECT_FALSE(recorder_->hasFocus()) << "recording ends";
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
    EXPECT_TRUE(recorder_->hasFocus()) << "still recording after " << describeShortcut(key);
  }
  EXPECT_TRUE(h_.monitor.isRunning());
}

TEST_F(ShortcutSettingsTabTest, WhileRecordingTheStoredShortcutIsReleasedSoItsKeysReachTheRecorder) {
  ASSERT_TRUE(h_.registry.setShortcut(kAltSpace, kShowAssistant));
  recorder_->setFocus(Qt::OtherFocusReason);
  EXPECT_TRUE(h_.hotKeys.registered().empty());

  press({kMacKeyEscape, 0});
  EXPECT_FALSE(recorder_->hasFocus());
  EXPECT_EQ(h_.hotKeys.registered(), std::vector{kAltSpace});

  press({kMacKeyDelete, 0});
  EXPECT_FALSE(h_.defaults.contains(kKey));
  h_.queue.runPending();
  EXPECT_EQ(recorder_->text(), "请按下快捷键…");
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
