// The "MidiEdit" dialog under the offscreen platform, driven through its
// widgets: typing, the check boxes, the bar with mouse and keyboard, the
// buttons, Escape and the refused-field message box.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <functional>
#include <vector>

#include "desktop/dialogs/midi_editor_dialog.h"
#include "desktop/qt_user_interface.h"
#include "tests/support/qt_modal.h"

namespace velora {
namespace {

using testing::answerMessage;
using testing::retype;

class QtMidiEditorTest : public ::testing::Test {
  protected:
    // Opens the dialog through the main window's entry point and lets `act`
    // drive it; a dialog that `act` left open is closed with -1.
    int run(const std::function<void(MidiEditorDialog&)>& act) {
        return testing::runDialog(act, [&] { runEditorDialog<MidiEditorDialog>(nullptr, image, ui); });
    }
    static void type(MidiEditorDialog& dialog, int id, const char* text) { retype(dialog.field(id), text); }
    static void clickBox(MidiEditorDialog& dialog, int id) { testing::clickBox(dialog.checkBox(id)); }
    static QString shown(MidiEditorDialog& dialog, int row) {
        return dialog.field(midiProgrammeField(row))->text() + "/" +
               dialog.field(midiSceneField(row))->text();
    }

    ControllerImage image;
    QtUserInterface ui;
};

TEST_F(QtMidiEditorTest, EditsOnSeveralPagesReachTheImageOnAcceptAndNothingElseChanges) {
    image.midi[66] = 0x2000 | 0x1000 | 40;
    image.midi[127] = 0x4000 | 7;
    image.cues[1][2] = 5;
    const ControllerImage before = image;

    const int result = run([this, &before](MidiEditorDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "MIDI assignments");
        type(dialog, midiProgrammeField(0), "16");  // key 60
        type(dialog, midiSceneField(0), "32");
        clickBox(dialog, midiTriggerBox(0, 1));
        clickBox(dialog, midiAssignBox(0, 0));

        QScrollBar* bar = dialog.scrollBar(kMidiScrollBar);
        bar->setFocus();
        QTest::keyClick(bar, Qt::Key_PageDown);
        EXPECT_EQ(bar->value(), 66);
        EXPECT_EQ(shown(dialog, 0), "2/9");
        type(dialog, midiProgrammeField(0), "");  // key 66 emptied: no scene, no assignment
        type(dialog, midiSceneField(0), "");
        EXPECT_EQ(image.midi, before.midi);  // the working copy only, so far

        bar->triggerAction(QAbstractSlider::SliderToMaximum);  // not a move: stays
        EXPECT_EQ(bar->value(), 66);
        bar->setSliderPosition(122);  // the thumb dragged to the end
        EXPECT_EQ(bar->value(), 122);
        EXPECT_EQ(dialog.field(midiNoteField(5))->text(), "G / 9");
        type(dialog, midiProgrammeField(5), "48");  // key 127
        type(dialog, midiSceneField(5), "14");
        QTest::keyClick(bar, Qt::Key_PageDown);  // already at the end
        EXPECT_EQ(bar->value(), 122);

        QTest::mouseClick(dialog.button(kMidiAccept), Qt::LeftButton);
    });

    EXPECT_EQ(result, 1);
    ControllerImage expected = before;
    expected.midi[60] = 0x8000 | 0x0800 | 511;
    expected.midi[66] = 0x1000;
    expected.midi[127] = 0x4000 | 1021;
    EXPECT_EQ(image.midi, expected.midi);
    EXPECT_EQ(image.cues, expected.cues);
    EXPECT_EQ(image.scenes, expected.scenes);
}

TEST_F(QtMidiEditorTest, ARefusedFieldIsReportedSelectedAndHoldsTheBarUntilCancel) {
    image.midi[62] = 0x8000 | 100;
    const ControllerImage before = image;

    const int result = run([](MidiEditorDialog& dialog) {
        type(dialog, midiProgrammeField(2), "48");
        type(dialog, midiSceneField(2), "15");
        QString text, caption;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        answerMessage(QMessageBox::Ok, &text, &caption, &icon);
        QTest::mouseClick(dialog.button(kMidiAccept), Qt::LeftButton);
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(text, "Invalid value !");
        EXPECT_EQ(caption, "Warning :");
        EXPECT_EQ(icon, QMessageBox::Critical);
        // The field that has the focus once the dialog is active again.
        EXPECT_EQ(dialog.focusWidget(), dialog.field(midiSceneField(2)));
        EXPECT_EQ(dialog.field(midiSceneField(2))->selectedText(), "15");

        // The bar is refused too. A held arrow repeats while the message box
        // is open: the repeat must not open a second box inside the first.
        QScrollBar* bar = dialog.scrollBar(kMidiScrollBar);
        int boxes = 0;
        testing::whenModal<QMessageBox>([&](QMessageBox* box) {
            ++boxes;
            EXPECT_EQ(box->text(), "Invalid value !");
            testing::whenModal<QMessageBox>([&, box](QMessageBox* top) {
                if (top != box) {
                    ++boxes;
                    box->done(QMessageBox::Ok);
                }
                top->done(QMessageBox::Ok);
            });
            bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        });
        bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        EXPECT_EQ(boxes, 1);
        EXPECT_EQ(bar->value(), 60);  // back where the rows are

        QTest::mouseClick(dialog.button(kMidiCancel), Qt::LeftButton);
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(shown(dialog, 2), "4/5");
        bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);  // stores the restored rows
        EXPECT_EQ(bar->value(), 61);
        QTest::mouseClick(dialog.button(kMidiAccept), Qt::LeftButton);
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(image.midi, before.midi);
}

TEST_F(QtMidiEditorTest, FinishEscapeEnterAndTheCloseBoxAskThenLeaveTheImageAlone) {
    const std::vector<std::function<void(MidiEditorDialog&)>> closings = {
        [](MidiEditorDialog& d) { QTest::mouseClick(d.button(kMidiFinish), Qt::LeftButton); },
        [](MidiEditorDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); },
        [](MidiEditorDialog& d) { d.close(); },
        // Enter in a field presses the default button, "Finish".
        [](MidiEditorDialog& d) { QTest::keyClick(d.field(midiSceneField(0)), Qt::Key_Return); },
    };
    for (std::size_t i = 0; i < closings.size(); ++i) {
        const int result = run([&closings, i](MidiEditorDialog& dialog) {
            type(dialog, midiProgrammeField(0), "7");
            clickBox(dialog, midiTriggerBox(0, 0));
            dialog.scrollBar(kMidiScrollBar)->triggerAction(QAbstractSlider::SliderSingleStepSub);
            ASSERT_EQ(dialog.field(midiKeyField(0))->text(), "59");
            type(dialog, midiSceneField(1), "3");

            QString caption;
            answerMessage(QMessageBox::No, nullptr, &caption);
            closings[i](dialog);
            EXPECT_TRUE(dialog.isVisible());
            EXPECT_EQ(caption, "MIDI assignments");
            EXPECT_EQ(dialog.field(midiSceneField(1))->text(), "3");
            answerMessage(QMessageBox::Yes);
            closings[i](dialog);
        });
        EXPECT_EQ(result, 0) << "closing " << i;
        EXPECT_EQ(image.midi, ControllerImage().midi) << "closing " << i;
    }
}

TEST_F(QtMidiEditorTest, TabReachesEveryInputRowByRowThenTheBarAndTheButtons) {
    std::vector<int> expected;
    for (int row = 0; row < kMidiRows; ++row) {
        for (int id = midiTriggerBox(row, 0); id <= midiAssignBox(row, 2); ++id) expected.push_back(id);
        expected.insert(expected.end(), {midiProgrammeField(row), midiSceneField(row)});
    }
    expected.insert(expected.end(), {kMidiScrollBar, kMidiFinish, kMidiCancel, kMidiAccept});

    run([&expected](MidiEditorDialog& dialog) {
        EXPECT_EQ(testing::tabOrder(dialog.checkBox(midiTriggerBox(0, 0)), 2 * expected.size()), expected);
    });
}

}  // namespace
}  // namespace velora
