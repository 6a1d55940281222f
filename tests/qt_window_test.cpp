// The desktop program's window under the offscreen platform: the menus as
// built, the status bar, command gating during a run, the scene editor
// pausing a run, Escape, the progress reset, the range dialog, message
// boxes and file dialogs. The line is an emulated controller, unpaced on
// real time, whose replies the test holds back and releases one by one.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QTreeWidget>
#include <functional>

#include "desktop/client_area.h"
#include "desktop/desktop_program.h"
#include "desktop/dialogs/changes_window.h"
#include "desktop/dialogs/scene_range_dialog.h"
#include "desktop/file_dialogs.h"
#include "desktop/main_window.h"
#include "desktop/message_box.h"
#include "desktop/part_status_bar.h"
#include "desktop/qt_user_interface.h"
#include "shell/application.h"
#include "shell/menu_model.h"
#include "shell/shell_texts.h"
#include "shell/tick_pump.h"
#include "tests/support/qt_modal.h"
#include "tests/support/virtual_port_factory.h"

namespace velora {
namespace {

constexpr const char* kPort = "/dev/held";

using testing::answerMessage;
using testing::answerRange;
using testing::whenModal;

bool spinUntil(const std::function<bool()>& done) {
    return QTest::qWaitFor(done, 5000);
}

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (std::size_t i = 0; i < 4 * kBlockSize; ++i)
            controller.dataMemory()[i] = static_cast<std::uint8_t>(i * 7 + 1);
        ASSERT_FALSE(program.start().has_value());
        window = program.window();
        ASSERT_NE(window, nullptr);
        program.application().filledBlocks().markAll();  // the image stands for a show
        // The version query that follows the search runs by itself.
        ASSERT_TRUE(spinUntil([&] { return engine().idle(); }));
    }
    void TearDown() override {
        if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    }

    TransferEngine& engine() { return program.application().engine(); }
    testing::VirtualSerialDevice& line() { return *factory.openDevice(kPort); }
    QAction* entry(const char* key, int position) { return window->entryAt(key, position); }
    // Highlights "&Read from controller" and picks "&Scenes" with the range given.
    void startSceneRead(const char* tp, const char* ts) {
        window->menuOf(kActionMenuKey)->hovered(entry(kActionMenuKey, 2));
        answerRange("1", "1", tp, ts);
        window->runCommand(kCmdScenes);
    }

    SteadyClock clock;
    testing::VirtualPortFactory factory{clock};
    ControllerModel& controller = factory.addController(kPort, LineTiming{.byteTime = Duration::zero()});
    DesktopProgram program{factory, clock};
    MainWindow* window = nullptr;
};

TEST_F(WindowTest, StartUpFindsTheControllerAndShowsItsFirmware) {
    EXPECT_EQ(window->objectName(), "VeloraTR<->PC");
    EXPECT_EQ(window->windowTitle(), "Kq318 Velora Tarvane <--> PC communication interface");
    EXPECT_EQ(window->pos(), QPoint(0, 0));
    EXPECT_EQ(window->size(), QSize(800, 600));
    PartStatusBar* bar = window->partStatusBar();
    ASSERT_TRUE(spinUntil([&] {
        return bar->partText(0) == "\tFW : 1.05b" && bar->partText(2) == "\tReady";
    })) << bar->partText(0).toStdString()
        << bar->partText(2).toStdString();
    EXPECT_EQ(bar->partText(1), "\tVersion");
    EXPECT_TRUE(entry(kPortMenuKey, 1)->isChecked());
    // The version reply set the bar to 100; the idle pump put it back to 0.
    EXPECT_EQ(bar->progressBar()->value(), 0);
}

TEST_F(WindowTest, MenusAsBuiltShareOneSelectionPopup) {
    QStringList bar;
    for (QAction* a : window->menuBar()->actions()) bar << a->text();
    EXPECT_EQ(bar, QStringList({"&Action", "&Comm choice", "&FirmWare upgrade", "&Show", "E&xit", "&Help"}));
    EXPECT_EQ(window->menuOf(kShowMenuKey)->actions()[0]->text(), "&Changes...");

    QMenu* action = window->menuOf(kActionMenuKey);
    ASSERT_EQ(action->actions().size(), 13);
    EXPECT_TRUE(action->actions()[1]->isSeparator());
    EXPECT_TRUE(action->actions()[8]->isSeparator());
    EXPECT_EQ(action->actions()[4]->menu(), window->menuOf(kEditionMenuKey));
    QMenu* selection = window->menuOf(kSelectionMenuKey);
    ASSERT_NE(selection, nullptr);
    for (int position : {2, 3, 5, 6, 7})
        EXPECT_EQ(action->actions()[position]->menu(), selection) << position;
    EXPECT_EQ(selection->actions().size(), 4);
    EXPECT_FALSE(entry(kActionMenuKey, kRepeatEntry)->isEnabled());
    EXPECT_FALSE(entry(kActionMenuKey, kStopEntry)->isEnabled());

    QMenu* ports = window->menuOf(kPortMenuKey);
    ASSERT_EQ(ports->actions().size(), 2);
    EXPECT_EQ(ports->actions()[0]->text(), "&Auto");
    EXPECT_EQ(ports->actions()[1]->text(), kPort);
    EXPECT_TRUE(ports->actions()[1]->isCheckable());
}

TEST_F(WindowTest, ClickingAPortDoesNotToggleItsCheckByItself) {
    QAction* port = entry(kPortMenuKey, 1);
    ASSERT_TRUE(port->isChecked());
    port->trigger();  // the port is chosen again: closed, reopened, checked
    EXPECT_TRUE(port->isChecked());
    EXPECT_EQ(engine().runKind(), RunKind::Version);
}

TEST_F(WindowTest, HighlightingActionEntriesChoosesTheAction) {
    QMenu* action = window->menuOf(kActionMenuKey);
    line().holdReplies(true);
    action->hovered(entry(kActionMenuKey, 4));
    window->runCommand(kCmdMidi);
    EXPECT_EQ(engine().action(), Action::NoAction);
    window->runCommand(kCmdStop);
    // Entries of other menus do not count, not even when the Action popup
    // passes on the highlight of the selection popup opened from it.
    action->hovered(entry(kActionMenuKey, 5));
    QAction* all = window->entryAt(kSelectionMenuKey, 3);
    window->menuOf(kSelectionMenuKey)->hovered(all);
    action->hovered(all);
    window->runCommand(kCmdSettings);
    EXPECT_EQ(engine().action(), Action::Verify);
    window->runCommand(kCmdStop);
}

TEST_F(WindowTest, APopupLeftOpenWhileAWriteEndsStillReads) {
    // A settings write runs with its acknowledgements held back.
    line().holdReplies(true);
    QMenu* action = window->menuOf(kActionMenuKey);
    action->hovered(entry(kActionMenuKey, 7));
    window->runCommand(kCmdSettings);
    ASSERT_TRUE(spinUntil([&] { return engine().state() == TransferState::AwaitReply; }));

    // The user opens "&Read from controller" and rests in its popup.
    action->popup(QPoint(10, 10));
    ASSERT_TRUE(spinUntil([&] { return action->isVisible(); }));
    action->setActiveAction(entry(kActionMenuKey, 2));
    QTest::keyClick(action, Qt::Key_Right);
    QMenu* selection = window->menuOf(kSelectionMenuKey);
    ASSERT_TRUE(spinUntil([&] { return selection->isVisible(); }));

    // The write ends meanwhile.
    for (int i = 0; i < 2; ++i) line().releaseReply();
    ASSERT_TRUE(spinUntil([&] { return engine().idle(); }));
    ASSERT_EQ(controller.counters().blockWrites, 2u);

    // The pick reads the MIDI assignments; it writes nothing.
    line().holdReplies(false);
    QTest::keyClick(selection, Qt::Key_M);
    ASSERT_TRUE(spinUntil([&] { return engine().idle() && engine().outcome() == RunOutcome::Completed; }));
    EXPECT_EQ(engine().region(), Region::Midi);
    EXPECT_EQ(controller.counters().blockWrites, 2u);
    EXPECT_EQ(controller.counters().reads, 2u);
}

TEST_F(WindowTest, SavingAReadThatWasStoppedAsksFirst) {
    line().holdReplies(true);
    startSceneRead("48", "14");  // every scene
    for (int i = 0; i < 5; ++i) line().releaseReply();
    ASSERT_TRUE(spinUntil([&] { return engine().currentBlock() == 5; }));
    QTest::keyClick(window, Qt::Key_Escape);
    ASSERT_TRUE(engine().idle());

    // "File &write" / "&Scenes": the question comes before the dialog; No saves nothing.
    QString text, caption;
    answerMessage(QMessageBox::No, &text, &caption);
    window->menuOf(kActionMenuKey)->hovered(entry(kActionMenuKey, 6));
    window->runCommand(kCmdScenes);  // the data-file command runs to its end at once
    EXPECT_EQ(text.toStdString(),
              "The last read of the scenes from the controller stopped at scene 1/3 !\n"
              "From there on the file will hold what the program had before.\nSave it anyway ?");
    EXPECT_EQ(caption, "Warning");

    // Yes: the file is saved as asked.
    QTemporaryDir dir;
    whenModal([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->icon(), QMessageBox::Question);
        whenModal([&](QWidget* d) {
            auto* dialog = qobject_cast<QFileDialog*>(d);
            ASSERT_NE(dialog, nullptr);
            dialog->selectFile(dir.filePath("stopped.K5s"));
            static_cast<QDialog*>(dialog)->accept();
        });
        box->button(QMessageBox::Yes)->click();
    });
    window->menuOf(kActionMenuKey)->hovered(entry(kActionMenuKey, 6));
    window->runCommand(kCmdScenes);
    EXPECT_EQ(QFileInfo(dir.filePath("stopped.K5s")).size(), 261632);
}

TEST_F(WindowTest, TheLineAtAGlanceAndTheTimeLeftOnTheProgressBar) {
    PartStatusBar* bar = window->partStatusBar();
    const auto shows = [&](const QString& text) {
        return spinUntil([&] { return bar->progressText() == text; }) ||
               (ADD_FAILURE() << bar->progressText().toStdString(), false);
    };
    shows("/dev/held - answering");

    // A full read after its first two blocks: 2046 blocks of 6 + 134 bytes
    // at 3490.9 bytes a second still to go.
    line().holdReplies(true);
    window->menuOf(kActionMenuKey)->hovered(entry(kActionMenuKey, 2));
    window->runCommand(kCmdAll);
    line().releaseReply();
    line().releaseReply();
    ASSERT_TRUE(spinUntil([&] { return engine().currentBlock() == 2; }));
    shows("0 % - 1:23 left");
    window->runCommand(kCmdStop);
    line().holdReplies(false);

    // A frame the controller refuses, and the run cancelled.
    controller.faults().add("nak@" + std::to_string(controller.counters().frames + 1));
    answerMessage(QMessageBox::Cancel);
    window->menuOf(kActionMenuKey)->hovered(entry(kActionMenuKey, 7));
    window->runCommand(kCmdMidi);
    shows("/dev/held - no answer to the last frame");

    // The line goes away.
    controller.faults().add("drop@" + std::to_string(controller.counters().frames + 1));
    answerMessage(QMessageBox::Ok);
    window->menuOf(kActionMenuKey)->hovered(entry(kActionMenuKey, 2));
    window->runCommand(kCmdMidi);
    shows("/dev/held - line lost");
}

TEST_F(WindowTest, AVerificationsSummaryIsShownOverTheLineAtAGlance) {
    // Scenes 1/1-1/3 as the controller holds them, but for one byte of the last block.
    ControllerImage& image = program.application().image();
    for (std::size_t i = 0; i < 3 * kChannels; ++i)
        image.scenes[i / kChannels][i % kChannels] = controller.dataMemory()[i];
    image.scenes[2][200] ^= 1;
    PartStatusBar* bar = window->partStatusBar();
    QString during;
    whenModal<QMessageBox>([&](QMessageBox* difference) {
        whenModal<QMessageBox>([&](QMessageBox* summary) {
            QTest::qWait(50);  // the refresh a run's end asks for has had its turn
            during = bar->progressText();
            summary->button(QMessageBox::Ok)->click();
        });
        difference->button(QMessageBox::Yes)->click();
    });
    window->menuOf(kActionMenuKey)->hovered(entry(kActionMenuKey, 5));
    answerRange("1", "1", "1", "3");
    window->runCommand(kCmdScenes);
    ASSERT_TRUE(spinUntil([&] { return engine().idle() && !during.isEmpty(); }));
    EXPECT_EQ(during.toStdString(), "/dev/held - answering");  // not "83 % - 0:01 left"
}

TEST_F(WindowTest, TheChangesWindowAndTheirCountFollowWhatIsAcceptedAndWritten) {
    PartStatusBar* bar = window->partStatusBar();
    const auto shows = [&](const QString& text) {
        return spinUntil([&] { return bar->progressText() == text; }) ||
               (ADD_FAILURE() << bar->progressText().toStdString(), false);
    };
    window->runCommand(kCmdChanges);
    ChangesWindow* changes = window->changesWindow();
    ASSERT_NE(changes, nullptr);
    EXPECT_TRUE(changes->isVisible());
    EXPECT_TRUE(changes->heading()->text().startsWith("No changes"));

    Application& app = program.application();
    app.runEditor([&] { app.image().midi[70] ^= 0x0401; });  // key 70's scene and its first triggering
    shows("/dev/held - answering - 2 changes");
    EXPECT_TRUE(changes->heading()->text().startsWith("2 changes since"));
    ASSERT_EQ(changes->list()->topLevelItemCount(), 1);
    EXPECT_EQ(changes->list()->topLevelItem(0)->text(0), "MIDI assignments: 2 changes");
    EXPECT_EQ(changes->list()->topLevelItem(0)->child(0)->text(0).toStdString(),
              "MIDI key 70 (A# / 4) scene: 1/1 <> 1/2");

    window->menuOf(kActionMenuKey)->hovered(entry(kActionMenuKey, 7));
    window->runCommand(kCmdMidi);
    shows("/dev/held - answering");
    EXPECT_TRUE(changes->heading()->text().startsWith("No changes"));
}

TEST_F(WindowTest, APortThatCannotBeOpenedSaysWhyInTheBox) {
    factory.addUnopenable("/dev/ttyUSB7", EACCES, DeviceAccess{"root", "dialout", true, false, false});
    factory.addUnopenable("/dev/ttyUSB8", EBUSY);
    program.application().link().setPortTable({kPort, "/dev/ttyUSB7", "/dev/ttyUSB8"});
    for (const auto& [slot, reason] : std::vector<std::pair<int, QString>>{
             {1, "/dev/ttyUSB7: permission denied: add yourself to the dialout group"},
             {2, "/dev/ttyUSB8: in use by another program"}}) {
        QString text, informative;
        whenModal([&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            ASSERT_NE(box, nullptr);
            text = box->text();
            informative = box->informativeText();
            box->button(QMessageBox::Ok)->click();
        });
        window->runCommand(kCmdFirstPort + slot);
        EXPECT_EQ(text, "Comm open error !");
        EXPECT_TRUE(informative.startsWith(reason)) << informative.toStdString();
    }
}

TEST_F(WindowTest, HelpContentsOpensTheBuildsOwnManual) {
    // A browser stands in for the desktop's: it is handed the manual's address.
    QTextBrowser browser;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &browser, "setSource");
    QString refused;
    QTimer boxes;  // a box saying the manual is missing is answered, and kept
    boxes.setInterval(0);
    QObject::connect(&boxes, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            refused = box->informativeText();
            box->done(QMessageBox::Ok);
        }
    });
    boxes.start();
    window->runCommand(kCmdHelp);
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    EXPECT_TRUE(refused.isEmpty()) << refused.toStdString();
    EXPECT_TRUE(browser.source().isLocalFile()) << browser.source().toString().toStdString();
    EXPECT_TRUE(browser.toPlainText().contains("Settings file (.K5p), 202 bytes"));
}

TEST_F(WindowTest, StatusBarPartsAtFiftyOneAndFiftyTwoCharacterWidths) {
    const int w = window->fontMetrics().averageCharWidth();
    const int frame = window->frameGeometry().width() - window->width();
    PartStatusBar* bar = window->partStatusBar();

    window->resize(52 * w - frame, 400);
    ASSERT_EQ(window->frameGeometry().width(), 52 * w);
    EXPECT_EQ(bar->edges().rightEdges, (std::array<int, 3>{12 * w, 21 * w, 43 * w}));

    window->resize(51 * w - frame, 400);
    const int W = 51 * w;
    EXPECT_EQ(bar->edges().rightEdges, (std::array<int, 3>{W * 12 / 50, W * 9 / 50 + W * 12 / 50,
                                                           W * 22 / 50 + W * 9 / 50 + W * 12 / 50}));

    // Any size: the bar at the bottom at full height, the progress bar 2 inside the last part.
    window->resize(640, 300);
    const QRect progress = bar->progressBar()->geometry();
    EXPECT_EQ(bar->geometry().bottom(), window->centralWidget()->height() - 1);
    EXPECT_EQ(bar->height(), bar->sizeHint().height());
    EXPECT_EQ(progress, QRect(bar->edges().progressLeft() + 2, 2,
                              bar->width() - bar->edges().progressLeft() - 4, bar->height() - 4));
}

TEST_F(WindowTest, ARunUpdatesEntriesAndProgressAndResetsThemWhenItEnds) {
    line().holdReplies(true);
    startSceneRead("1", "2");  // scenes 0..1: blocks 0..3
    ASSERT_TRUE(spinUntil([&] { return engine().state() == TransferState::AwaitReply; }));
    EXPECT_TRUE(entry(kActionMenuKey, kRepeatEntry)->isEnabled());
    EXPECT_EQ(window->partStatusBar()->partText(1), "\tScenes");

    line().releaseReply();
    ASSERT_TRUE(spinUntil([&] { return engine().currentBlock() == 1; }));
    EXPECT_TRUE(entry(kActionMenuKey, kStopEntry)->isEnabled());
    ASSERT_TRUE(spinUntil([&] { return window->partStatusBar()->progressBar()->value() == 25; }));
    spinUntil([&] { return window->partStatusBar()->partText(2) == "\tReading from Kq318"; });
    EXPECT_EQ(window->partStatusBar()->partText(2), "\tReading from Kq318");

    // A transfer command during the run is ignored; so are the two idle-only editors.
    EXPECT_EQ(window->runCommand(kCmdSettings), CommandDispatcher::Outcome::Ignored);
    EXPECT_EQ(window->runCommand(kCmdMidiEditor), CommandDispatcher::Outcome::Ignored);
    EXPECT_EQ(window->runCommand(kCmdSettingsEditor), CommandDispatcher::Outcome::Ignored);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(engine().region(), Region::Scenes);

    for (int i = 0; i < 3; ++i) line().releaseReply();
    ASSERT_TRUE(spinUntil([&] { return engine().idle(); }));
    EXPECT_EQ(engine().outcome(), RunOutcome::Completed);
    EXPECT_FALSE(entry(kActionMenuKey, kStopEntry)->isEnabled());
    EXPECT_TRUE(entry(kActionMenuKey, kRepeatEntry)->isEnabled());
    EXPECT_EQ(window->partStatusBar()->progressBar()->value(), 0);
    ASSERT_TRUE(spinUntil([&] { return window->partStatusBar()->partText(2) == "\tReady"; }));
    EXPECT_EQ(program.application().image().scenes[1][5], controller.dataMemory()[256 + 5]);
    EXPECT_NE(program.application().image().scenes[1][5], 0);
}

TEST_F(WindowTest, TheSceneEditorOpensDuringARunWhichWaitsUntilItCloses) {
    line().holdReplies(true);
    startSceneRead("1", "1");
    ASSERT_TRUE(spinUntil([&] { return engine().state() == TransferState::AwaitReply; }));

    bool opened = false;
    whenModal([&](QWidget* editor) {
        opened = true;
        EXPECT_EQ(editor->objectName(), "Edycja");
        EXPECT_EQ(window->partStatusBar()->partText(1), "\tEdition");
        EXPECT_FALSE(window->clientArea()->isVisible());
        const auto ticks = program.pump().counters().ticks;
        line().releaseReply();  // the reply is there, but the engine must not take it yet
        for (int i = 0; i < 50; ++i) QCoreApplication::processEvents();
        EXPECT_EQ(program.pump().counters().ticks, ticks);
        EXPECT_EQ(engine().state(), TransferState::AwaitReply);
        EXPECT_EQ(engine().currentBlock(), 0u);
        editor->close();
    });
    EXPECT_EQ(window->runCommand(kCmdSceneEditor), CommandDispatcher::Outcome::Done);
    EXPECT_TRUE(opened);
    EXPECT_TRUE(window->clientArea()->isVisible());
    ASSERT_TRUE(spinUntil([&] { return engine().currentBlock() == 1; }));
}

TEST_F(WindowTest, EscapeWhileIdlePurgesAndStopStaysGreyed) {
    const int purges = factory.log(kPort).purges;
    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_EQ(factory.log(kPort).purges, purges + 1);
    EXPECT_FALSE(entry(kActionMenuKey, kStopEntry)->isEnabled());
    EXPECT_TRUE(engine().idle());
}

TEST_F(WindowTest, EscapeDuringARunEndsItAndDropsItsPendingTick) {
    line().holdReplies(true);
    startSceneRead("48", "14");
    ASSERT_TRUE(spinUntil([&] { return engine().state() == TransferState::AwaitReply; }));
    line().releaseReply();  // a tick is on its way for this reply
    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_TRUE(engine().idle());
    EXPECT_EQ(engine().outcome(), RunOutcome::Stopped);
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
    EXPECT_TRUE(engine().idle());
    EXPECT_EQ(engine().currentBlock(), 0u);
}

TEST_F(WindowTest, ClosingByTheFrameAsksFirst) {
    QString text;
    answerMessage(QMessageBox::No, &text);
    window->close();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(text.toStdString(), kExitQuestion);
    answerMessage(QMessageBox::Yes);
    window->close();
    EXPECT_FALSE(window->isVisible());
}

TEST_F(WindowTest, RangeDialogRefusesAFieldThenTakesAll) {
    std::uint32_t first = 41, last = 64;
    QString message, caption;
    bool focusedAndSelected = false;
    whenModal([&](QWidget* w) {
        auto* dialog = qobject_cast<SceneRangeDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), "Scene range");
        EXPECT_EQ(dialog->field(kRangeFromProgramme)->text(), "2");
        EXPECT_EQ(dialog->field(kRangeToScene)->text(), "1");
        dialog->field(kRangeFromProgramme)->setText("48");
        dialog->field(kRangeFromScene)->setText("15");
        whenModal([&](QWidget* box) {
            auto* messageBox = qobject_cast<QMessageBox*>(box);
            ASSERT_NE(messageBox, nullptr);
            message = messageBox->text();
            caption = messageBox->windowTitle();
            EXPECT_EQ(messageBox->icon(), QMessageBox::Critical);
            messageBox->button(QMessageBox::Ok)->click();
        });
        dialog->button(kDialogOk)->click();
        QLineEdit* scene = dialog->field(kRangeFromScene);
        focusedAndSelected = dialog->focusWidget() == scene && scene->selectedText() == "15";
        dialog->button(kRangeAll)->click();
    });
    EXPECT_TRUE(program.ui().sceneRangeDialog(first, last));
    EXPECT_EQ(message, "Scene have to be\nbetween 1 and 14 !");
    EXPECT_EQ(caption, "Warning :");
    EXPECT_TRUE(focusedAndSelected);
    EXPECT_EQ(first, 0u);
    EXPECT_EQ(last, 1021u);

    whenModal([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
    EXPECT_FALSE(program.ui().sceneRangeDialog(first, last));

    // Enter on a focused "Cancel" cancels; it must not press the default OK.
    first = 41;
    whenModal([](QWidget* w) {
        auto* dialog = qobject_cast<SceneRangeDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        dialog->field(kRangeFromProgramme)->setText("1");
        dialog->button(kDialogCancel)->setFocus();
        QTest::keyClick(dialog->button(kDialogCancel), Qt::Key_Return);
    });
    EXPECT_FALSE(program.ui().sceneRangeDialog(first, last));
    EXPECT_EQ(first, 41u);
}

TEST(MessageBoxes, TextsIconsAndTheButtonEscapeGives) {
    struct Case {
        Buttons buttons;
        Answer escape;
    };
    for (const Case c :
         {Case{Buttons::Ok, Answer::Ok}, Case{Buttons::YesNo, Answer::No},
          Case{Buttons::RetryCancel, Answer::Cancel}, Case{Buttons::AbortRetryIgnore, Answer::Abort}}) {
        QString text, caption;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        whenModal([&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            text = box->text();
            caption = box->windowTitle();
            icon = box->icon();
            QTest::keyClick(box, Qt::Key_Escape);
        });
        EXPECT_EQ(showMessageBox(nullptr, "Communication error : NAK", "Fault", Icon::Warning, c.buttons),
                  c.escape);
        EXPECT_EQ(text, "Communication error : NAK");
        EXPECT_EQ(caption, "Fault");
        EXPECT_EQ(icon, QMessageBox::Warning);
    }
    whenModal([](QWidget* w) { qobject_cast<QMessageBox*>(w)->button(QMessageBox::Ignore)->click(); });
    EXPECT_EQ(showMessageBox(nullptr, "x", "y", Icon::Error, Buttons::AbortRetryIgnore), Answer::Ignore);
}

TEST(FileDialogs, FilterIndexIsKeptAndTheDefaultExtensionApplied) {
    QTemporaryDir dir;
    FileDialogRequest request = FileDialogRequest::standard();
    request.title = "Save MIDI assignments";
    request.defaultExtension = "K5m";
    request.flags = OverwritePrompt | HideReadOnly;
    QString title, shownFilter;
    whenModal([&](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        title = dialog->windowTitle();
        shownFilter = dialog->selectedNameFilter();
        dialog->selectNameFilter(nameFiltersOf(request)[2]);
        dialog->selectFile(dir.filePath("show"));
        static_cast<QDialog*>(dialog)->accept();  // QFileDialog hides it
    });
    ASSERT_TRUE(runFileDialog(nullptr, FileDialogKind::Save, request));
    EXPECT_EQ(title, "Save MIDI assignments");
    EXPECT_EQ(shownFilter, "Scene definitions (*.K5s)");
    EXPECT_EQ(request.filterIndex, 3);
    EXPECT_EQ(request.path, dir.filePath("show.K5m").toStdString());
    EXPECT_EQ(withDefaultExtension("/a.b/show", "K5s"), "/a.b/show.K5s");
    EXPECT_EQ(withDefaultExtension("/a/show.K5p", "K5s"), "/a/show.K5p");
}

}  // namespace
}  // namespace velora
