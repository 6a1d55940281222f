// The "Edycja" dialog under the offscreen platform, driven through its
// widgets: what reaches the image, the refused value box, the message boxes.

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <functional>
#include <memory>

#include "desktop/dialogs/scene_editor_dialog.h"
#include "desktop/qt_user_interface.h"
#include "image/controller_image.h"
#include "tests/support/qt_modal.h"

namespace velora {
namespace {

using testing::answerMessage;
using testing::retype;

class QtSceneEditorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (std::size_t k = 0; k < kChannels; ++k) image->scenes[99][k] = static_cast<std::uint8_t>(k);
        image->speedSync[3] = 100;  // programme 4: Auto, shown with SPEED 31
    }
    // Runs the dialog with `act` driving it; true when it closed with result 0.
    bool run(const std::function<void(SceneEditorDialog*)>& act) {
        const std::function<void(SceneEditorDialog&)> actThenEscape = [&](SceneEditorDialog& dialog) {
            act(&dialog);
            QTest::keyClick(&dialog, Qt::Key_Escape);
        };
        return testing::runDialog(actThenEscape,
                                  [&] { runEditorDialog<SceneEditorDialog>(nullptr, *image, ui); }) == 0;
    }

    std::unique_ptr<ControllerImage> image = std::make_unique<ControllerImage>();
    QtUserInterface ui;
};

TEST_F(QtSceneEditorTest, EditsThroughTheWidgetsReachOnlyTheSceneAndProgrammeAccepted) {
    const ControllerImage before = *image;
    ASSERT_TRUE(run([](SceneEditorDialog* d) {
        EXPECT_EQ(d->objectName(), "Edycja");
        EXPECT_TRUE(d->windowTitle().isEmpty());
        EXPECT_FALSE(d->windowFlags() & (Qt::WindowTitleHint | Qt::WindowCloseButtonHint));
        retype(d->field(kEditProgramme), "3");
        QTest::mouseClick(d->button(kEditProgrammeUp), Qt::LeftButton);  // programme 4
        for (int i = 0; i < 3; ++i) QTest::mouseClick(d->button(kEditSceneUp), Qt::LeftButton);  // scene 4
        QTest::mouseClick(d->button(kEditLoad), Qt::LeftButton);  // absolute scene 99
        EXPECT_EQ(d->field(editValueBox(kEditSpeed))->text(), "31");
        EXPECT_TRUE(d->checkBox(kEditModeAuto)->isChecked());

        QTest::mouseClick(d->checkBox(editFixtureBox(3)), Qt::LeftButton);  // fixtures 1 and 3
        retype(d->field(editValueBox(0)), "250");
        QScrollBar* second = d->scrollBar(editBar(1));
        second->setFocus();
        QTest::keyClick(second, Qt::Key_PageUp);  // 1 to 63
        EXPECT_EQ(second->value(), 255 - 63);
        d->scrollBar(editBar(2))->triggerAction(QAbstractSlider::SliderSingleStepSub);  // 2 to 3
        QScrollBar* speed = d->scrollBar(editBar(kEditSpeed));
        speed->setFocus();
        QTest::keyClick(speed, Qt::Key_Down);  // 31 to 30
        QTest::mouseClick(d->checkBox(kEditEnd), Qt::LeftButton);
        QTest::mouseClick(d->button(kEditAccept), Qt::LeftButton);

        QTest::mouseClick(d->checkBox(kEditModeMusic), Qt::LeftButton);  // not accepted
        answerMessage(QMessageBox::Yes);                                 // Escape asks before dropping it
    }));

    ControllerImage expected = before;
    for (const std::size_t first : {0u, 32u}) {
        for (std::size_t k = 0; k < 16; ++k) expected.scenes[99][first + k] = static_cast<std::uint8_t>(k);
        expected.scenes[99][first] = 250;
        expected.scenes[99][first + 1] = 63;
        expected.scenes[99][first + 2] = 3;
    }
    expected.speedSync[3] = 30;
    expected.endScene[3] = 4;
    EXPECT_EQ(image->scenes, expected.scenes);
    EXPECT_EQ(image->speedSync, expected.speedSync);
    EXPECT_EQ(image->endScene, expected.endScene);
    EXPECT_EQ(image->fade, expected.fade);
}

TEST_F(QtSceneEditorTest, RefusedValuesAndFieldsTakeTheFocusBack) {
    const ControllerImage before = *image;
    ASSERT_TRUE(run([](SceneEditorDialog* d) {
        QLineEdit* box = d->field(editValueBox(5));
        retype(box, "300");
        EXPECT_EQ(d->scrollBar(editBar(5))->value(), 0);  // at the top while typing
        QTest::keyClick(box, Qt::Key_Return);             // not left: Accept checks it
        d->button(kEditAccept)->click();
        EXPECT_EQ(box->text(), "???");
        EXPECT_TRUE(box->hasFocus());
        EXPECT_EQ(box->selectedText(), "???");

        QString text;
        retype(d->field(kEditScene), "33");
        answerMessage(QMessageBox::Ok, &text);
        QTest::mouseClick(d->button(kEditLoad), Qt::LeftButton);
        EXPECT_EQ(text, "Invalid value !");
        // The field the dialog's focus comes back to once it is active again.
        EXPECT_EQ(d->focusWidget(), d->field(kEditScene));
        EXPECT_EQ(d->field(kEditScene)->selectedText(), "33");

        retype(d->field(kEditScene), "1");
        QTest::mouseClick(d->checkBox(editFixtureBox(2)), Qt::LeftButton);
        answerMessage(QMessageBox::Ok, &text);
        QTest::mouseClick(d->button(kEditLoad), Qt::LeftButton);
        EXPECT_EQ(text, "Multiple fixture choosen !\nSettings of 1-th fixture will be loaded !");
        EXPECT_EQ(box->text(), "0");
    }));
    EXPECT_EQ(image->scenes, before.scenes);
    EXPECT_EQ(image->speedSync, before.speedSync);
}

}  // namespace
}  // namespace velora
