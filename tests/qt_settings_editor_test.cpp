// The "SpecEdit" dialog under the offscreen platform: built from its layout,
// driven through its widgets (typing, radio buttons, check boxes, the bars
// by keyboard and mouse), with its real message boxes; the image must change
// exactly where the user's edits say and nowhere else.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <algorithm>
#include <functional>
#include <memory>
#include <set>

#include "desktop/dialogs/settings_editor_dialog.h"
#include "desktop/qt_user_interface.h"
#include "image/controller_image.h"
#include "tests/support/qt_modal.h"
#include "tests/support/settings_check.h"

namespace velora {
namespace {

using testing::answerMessage;
using testing::clickBox;
using testing::retype;

class SettingsEditorDialogTest : public ::testing::Test {
  protected:
    SettingsEditorDialogTest() {
        for (int p = 0; p < kProgrammes; ++p) {
            const auto i = static_cast<std::size_t>(p);
            image->endScene[i] = static_cast<std::uint8_t>(1 + p % 14);
            image->speedSync[i] = static_cast<std::uint8_t>(1 + p % 31);
            image->fade[i] = static_cast<std::uint8_t>(p * 5);
        }
        for (std::size_t f = 0; f < 3; ++f)
            for (std::size_t c = 0; c < 16; ++c) image->cues[f][c] = static_cast<std::uint8_t>(f + c);
        image->strobeScene = 33;  // programme 2, scene 2
        image->fogScene = kNoScene;
        image->extraScene = 600;
        image->specialButtonsMode = kExtraModeFlag;
        image->midi[127] = 0xFFFF;  // outside the editor: must stay as it is
        image->scenes[1021][255] = 1;
        before = std::make_unique<ControllerImage>(*image);
    }

    // Opens the dialog on the image through the program's entry point, calls
    // `act` with it open, and gives the dialog's result (-1: not closed by it).
    int run(const std::function<void(SettingsEditorDialog&)>& act) {
        return testing::runDialog(act, [&] { runEditorDialog<SettingsEditorDialog>(nullptr, *image, ui); });
    }

    // The settings as expected, and nothing outside them changed.
    void expectSettings(const ControllerImage& expected) {
        testing::expectSameSettings(*image, expected);
        EXPECT_EQ(image->midi, expected.midi);
        EXPECT_TRUE(image->scenes == expected.scenes);
    }

    std::unique_ptr<ControllerImage> image = std::make_unique<ControllerImage>();
    std::unique_ptr<ControllerImage> before;
    QtUserInterface ui;
};

TEST_F(SettingsEditorDialogTest, BuiltFromTheLayoutWithNothingOverlapping) {
    run([&](SettingsEditorDialog& d) {
        EXPECT_EQ(d.objectName(), "SpecEdit");
        EXPECT_EQ(d.windowTitle(), "Settings");
        EXPECT_TRUE(d.button(kSettingsFinish)->isDefault());
        EXPECT_FALSE(d.button(kSettingsAccept)->isDefault());

        std::set<QString> frames;
        for (auto* group : d.findChildren<QGroupBox*>()) frames.insert(group->title());
        EXPECT_EQ(frames, (std::set<QString>{"Special buttons", "Cue's", "Programm settings", "Time rate"}));

        // Every control inside the dialog, no two controls on top of each other
        // (labels included), every text of a label readable in full.
        std::vector<QWidget*> placed;
        for (const DialogControl& c : kSettingsEditorLayout.controls) {
            if (c.kind == DialogControl::GroupBox) continue;
            QWidget* w = c.id >= 0 ? d.control(c.id) : nullptr;
            if (w == nullptr) {
                for (auto* label : d.findChildren<QLabel*>())
                    if (label->text() == QString::fromUtf8(c.caption) &&
                        std::find(placed.begin(), placed.end(), label) == placed.end())
                        w = label;
            }
            ASSERT_NE(w, nullptr) << c.id << ' ' << c.caption;
            EXPECT_TRUE(d.rect().contains(w->geometry())) << c.id << ' ' << c.caption;
            if (auto* label = qobject_cast<QLabel*>(w)) {
                EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width()) << c.caption;
            }
            // Neighbours placed edge to edge may share a pixel by rounding.
            const QRect box = w->geometry().adjusted(0, 0, -1, -1);
            for (QWidget* other : placed) {
                EXPECT_FALSE(box.intersects(other->geometry().adjusted(0, 0, -1, -1)))
                    << c.id << ' ' << c.caption << " over " << other->objectName().toStdString();
            }
            placed.push_back(w);
        }
    });
}

TEST_F(SettingsEditorDialogTest, TabReachesEveryInputInTheListedOrder) {
    run([&](SettingsEditorDialog& d) {
        std::vector<int> expected;
        for (const DialogControl& c : kSettingsEditorLayout.controls)
            if (c.id >= 0 && d.control(c.id)->isEnabled() && !(c.flags & DialogControl::Disabled)) {
                // Tab enters a row's mode buttons at the chosen one; the arrows go on from there.
                if (c.kind == DialogControl::RadioButton && !d.checkBox(c.id)->isChecked()) continue;
                expected.push_back(c.id);
            }

        // From the first control round the dialog, one Tab at a time.
        EXPECT_EQ(testing::tabOrder(d.control(expected.front()), 2 * expected.size()), expected);
    });
}

TEST_F(SettingsEditorDialogTest, EditsThroughTheWidgetsReachTheImageOnAccept) {
    const int result = run([&](SettingsEditorDialog& d) {
        // Programme 1: End emptied; programme 2 switched to Music.
        retype(d.field(settingsEnd(0)), "");
        clickBox(d.checkBox(settingsMusic(1)));
        EXPECT_TRUE(d.checkBox(settingsMusic(1))->isChecked());
        EXPECT_FALSE(d.checkBox(settingsAuto(1))->isChecked());
        EXPECT_TRUE(d.checkBox(settingsAuto(2))->isChecked());  // one group per row
        // Programme 3 to Manual with the arrow key inside its group.
        d.checkBox(settingsAuto(2))->setFocus();
        QTest::keyClick(d.checkBox(settingsAuto(2)), Qt::Key_Right);
        EXPECT_TRUE(d.checkBox(settingsManual(2))->isChecked());

        // Page Down on the focused programme bar: programmes 4..9; programme 4 fades 250.
        d.scrollBar(kSettingsProgrammeBar)->setFocus();
        QTest::keyClick(d.scrollBar(kSettingsProgrammeBar), Qt::Key_PageDown);
        EXPECT_EQ(d.scrollBar(kSettingsProgrammeBar)->value(), 3);
        EXPECT_EQ(d.field(settingsProgrammeNumber(0))->text(), "4");
        retype(d.field(settingsFade(0)), "250");
        retype(d.field(settingsSpeed(1)), "31");

        // The cue bar one line down: cue 5 in the last row, its field 3 to programme 48.
        d.scrollBar(kSettingsCueBar)->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        EXPECT_EQ(d.field(settingsCueNumber(3))->text(), "5");
        retype(d.field(settingsCueField(3, 2)), "48");

        // FOG gets a scene, STROBE loses its scene, the strobe-mode boxes turn over.
        clickBox(d.checkBox(kSpecialButtonBox[kFog]));
        EXPECT_EQ(d.field(kSpecialProgrammeField[kFog])->text(), "1");
        EXPECT_TRUE(d.field(kSpecialSceneField[kFog])->isEnabled());
        retype(d.field(kSpecialProgrammeField[kFog]), "17");
        retype(d.field(kSpecialSceneField[kFog]), "16");
        clickBox(d.checkBox(kSpecialButtonBox[kStrobe]));
        EXPECT_FALSE(d.field(kSpecialSceneField[kStrobe])->isEnabled());
        EXPECT_EQ(d.field(kSpecialSceneField[kStrobe])->text(), "");
        clickBox(d.checkBox(kStrobeModeBox[kStrobe]));
        clickBox(d.checkBox(kSettingsSlowMode));

        QTest::mouseClick(d.button(kSettingsAccept), Qt::LeftButton);
    });
    EXPECT_EQ(result, 1);

    ControllerImage& expected = *before;
    expected.endScene[0] = 0;
    expected.speedSync[1] = kMusicMode;
    expected.speedSync[2] = kManualMode;
    expected.fade[3] = 250;
    expected.speedSync[4] = 31;
    expected.cues[2][4] = 47;
    expected.fogScene = 527;
    expected.strobeScene = kNoScene;
    expected.specialButtonsMode = kStrobeModeFlag | kExtraModeFlag;
    expected.slowMode = 0xFFFF;
    expectSettings(expected);
}

TEST_F(SettingsEditorDialogTest, ARefusedFieldIsReportedSelectedAndBlocksAccept) {
    QString text, caption;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    const int result = run([&](SettingsEditorDialog& d) {
        QScrollBar* bar = d.scrollBar(kSettingsProgrammeBar);
        bar->setFocus();
        QTest::keyClick(bar, Qt::Key_End);  // an action the bar leaves alone
        EXPECT_EQ(bar->value(), 0);
        for (int i = 0; i < 14; ++i) QTest::keyClick(bar, Qt::Key_PageDown);
        EXPECT_EQ(bar->value(), 42);
        EXPECT_EQ(d.field(settingsProgrammeNumber(5))->text(), "48");
        retype(d.field(settingsEnd(5)), "15");

        answerMessage(QMessageBox::Ok, &text, &caption, &icon);
        QTest::mouseClick(d.button(kSettingsAccept), Qt::LeftButton);
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(text, "Invalid value !");
        EXPECT_EQ(caption, "Warning :");
        EXPECT_EQ(icon, QMessageBox::Critical);
        EXPECT_EQ(d.focusWidget(), d.field(settingsEnd(5)));
        EXPECT_EQ(d.field(settingsEnd(5))->selectedText(), "15");

        // Scrolling is refused too, and the bar stays where it was.
        text.clear();
        answerMessage(QMessageBox::Ok, &text);
        bar->setFocus();
        QTest::keyClick(bar, Qt::Key_Up);
        EXPECT_EQ(text, "Invalid value !");
        EXPECT_EQ(bar->value(), 42);

        retype(d.field(settingsEnd(5)), "14");
        bar->setFocus();
        QTest::keyClick(bar, Qt::Key_Up);
        EXPECT_EQ(bar->value(), 41);
        QTest::mouseClick(d.button(kSettingsAccept), Qt::LeftButton);
    });
    EXPECT_EQ(result, 1);
    before->endScene[47] = 14;
    expectSettings(*before);
}

TEST_F(SettingsEditorDialogTest, FinishEscapeEnterAndTheCloseBoxAskBeforeDroppingEdits) {
    const std::vector<std::function<void(SettingsEditorDialog&)>> ways{
        [](SettingsEditorDialog& d) { QTest::keyClick(d.field(settingsEnd(2)), Qt::Key_Return); },
        [](SettingsEditorDialog& d) { QTest::mouseClick(d.button(kSettingsFinish), Qt::LeftButton); },
        [](SettingsEditorDialog& d) { QTest::keyClick(d.field(settingsEnd(2)), Qt::Key_Escape); },
        [](SettingsEditorDialog& d) { d.close(); },
    };
    for (std::size_t i = 0; i < ways.size(); ++i) {
        QString text, caption;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
        const int result = run([&](SettingsEditorDialog& d) {
            retype(d.field(settingsEnd(2)), "7");
            clickBox(d.checkBox(kSettingsSlowMode));

            // No: the dialog stays as it is, the typed value in its field.
            answerMessage(QMessageBox::No, &text, &caption, &icon, &defaultButton);
            ways[i](d);
            EXPECT_TRUE(d.isVisible());
            EXPECT_EQ(text, "Close without accepting the changes ?");
            EXPECT_EQ(caption, "Settings");
            EXPECT_EQ(icon, QMessageBox::Question);
            EXPECT_EQ(defaultButton, QMessageBox::No);
            EXPECT_EQ(d.field(settingsEnd(2))->text(), "7");
            EXPECT_TRUE(d.checkBox(kSettingsSlowMode)->isChecked());

            answerMessage(QMessageBox::Yes);
            ways[i](d);
        });
        EXPECT_EQ(result, 0) << "way " << i;
        expectSettings(*before);
    }

    // Without a change every way closes at once.
    for (std::size_t i = 0; i < ways.size(); ++i) EXPECT_EQ(run(ways[i]), 0) << "way " << i;
}

}  // namespace
}  // namespace velora
