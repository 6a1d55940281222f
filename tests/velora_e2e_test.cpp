// The desktop program against velora-emu on a real pseudo-terminal, under
// the offscreen platform: the start-up search and version, a scene read from
// the menu with the range dialog answered, a show loaded from its files,
// edited in the three editors and written to the controller, and, on the
// paced line, Escape during a run and the program's CPU share while it reads.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>

#include "desktop/desktop_program.h"
#include "desktop/dialogs/laid_out_dialog.h"
#include "desktop/dialogs/scene_range_dialog.h"
#include "desktop/main_window.h"
#include "desktop/part_status_bar.h"
#include "editors/midi_editor.h"
#include "editors/scene_editor.h"
#include "editors/settings_editor.h"
#include "emulator/demo_show.h"
#include "files/data_files.h"
#include "serial_qt/serial_ports.h"
#include "shell/application.h"
#include "shell/menu_model.h"
#include "shell/tick_pump.h"
#include "tests/support/qt_modal.h"

#ifndef VELORA_EMU_PATH
#error "VELORA_EMU_PATH names the emulator program"
#endif

namespace velora {
namespace {

using namespace std::chrono_literals;

// velora-emu as a child process; its first line of output is the device.
class Emulator {
  public:
    explicit Emulator(QStringList options) {
        process_.start(QStringLiteral(VELORA_EMU_PATH), options);
        if (process_.waitForStarted(5000) && process_.waitForReadyRead(5000))
            device_ = QString::fromUtf8(process_.readLine()).trimmed();
    }
    ~Emulator() { stop(); }
    // SIGTERM: the emulator saves its memory file and exits.
    void stop() {
        if (process_.state() == QProcess::NotRunning) return;
        process_.terminate();
        if (!process_.waitForFinished(5000)) process_.kill();
    }
    const QString& device() const { return device_; }

  private:
    QProcess process_;
    QString device_;
};

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

class DesktopE2e : public ::testing::Test {
  protected:
    void startWith(QStringList emulatorOptions) {
        emulator = std::make_unique<Emulator>(emulatorOptions);
        ASSERT_FALSE(emulator->device().isEmpty());
        qputenv("VELORA_PORTS", emulator->device().toUtf8());
        program = std::make_unique<DesktopProgram>(ports, clock);
        ASSERT_FALSE(program->start().has_value());
        window = program->window();
    }
    void TearDown() override {
        program.reset();
        emulator.reset();
    }
    TransferEngine& engine() { return program->application().engine(); }
    // Runs the event loop as the program's own would (QTest::qWaitFor sleeps
    // between its rounds, which would slow the line down) until `done`.
    static bool waitFor(const std::function<bool()>& done, int ms, int checkEveryMs = 20) {
        QEventLoop loop;
        QTimer check;
        QObject::connect(&check, &QTimer::timeout, &loop, [&] {
            if (done()) loop.quit();
        });
        check.setTimerType(Qt::PreciseTimer);
        check.start(checkEveryMs);
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        if (!done()) loop.exec();
        return done();
    }

    // "&Read from controller", then from the selection popup.
    void readFromMenu(int selectionPosition) {
        QMenu* action = window->menuOf(kActionMenuKey);
        emit action->hovered(action->actions().at(2));
        window->entryAt(kSelectionMenuKey, selectionPosition)->trigger();
    }

    SteadyClock clock;
    QtSerialPortFactory ports{clock};
    std::unique_ptr<Emulator> emulator;
    std::unique_ptr<DesktopProgram> program;
    MainWindow* window = nullptr;
};

TEST_F(DesktopE2e, FindsTheControllerAndShowsItsFirmwareThenReadsScenesFromTheMenu) {
    startWith({"--demo", "--version", "2.07c"});
    PartStatusBar* bar = window->partStatusBar();
    ASSERT_TRUE(waitFor([&] { return engine().idle() && bar->partText(0) == "\tFW : 2.07c"; }, 5000))
        << bar->partText(0).toStdString();
    EXPECT_TRUE(window->entryAt(kPortMenuKey, 1)->isChecked());

    // The range dialog answered as a user would: programme 2 scene 10 to programme 3 scene 1.
    testing::answerRange("2", "10", "3", "1");
    readFromMenu(0);
    ASSERT_TRUE(waitFor([&] { return engine().idle(); }, 20000));
    EXPECT_EQ(engine().outcome(), RunOutcome::Completed);
    EXPECT_EQ(engine().sceneRange().first, 41u);
    EXPECT_EQ(engine().sceneRange().second, 64u);

    auto expected = std::make_unique<ControllerImage>();
    fillDemoShow(*expected);
    const ControllerImage& image = program->application().image();
    for (int scene = 41; scene <= 64; ++scene)
        EXPECT_EQ(image.scenes[scene], expected->scenes[scene]) << scene;
    EXPECT_NE(image.scenes[41], decltype(image.scenes[41]){});
    EXPECT_EQ(image.scenes[40], decltype(image.scenes[40]){});  // outside the range: untouched
    EXPECT_EQ(image.scenes[65], decltype(image.scenes[65]){});
}

using testing::retype;
using testing::whenModal;

// A technician's evening: yesterday's show from its files, one scene, one
// programme setting and one MIDI key changed in the editors, and only those
// written to the controller.
TEST_F(DesktopE2e, AShowLoadedEditedInTheEditorsAndWrittenReachesTheController) {
    QTemporaryDir dir;
    auto show = std::make_unique<ControllerImage>();
    fillDemoShow(*show);
    for (Region r : {Region::Scenes, Region::Settings, Region::Midi}) {
        std::ofstream file(
            dir.filePath("show." + QString::fromUtf8(dataFileExtension(r).data(), 3)).toStdString(),
            std::ios::binary);
        ASSERT_TRUE(writeDataFile(file, *show, r));
    }
    const QString memory = dir.filePath("memory.bin");
    startWith({"--memory", memory});
    ASSERT_TRUE(waitFor([&] { return engine().idle(); }, 5000));
    QMenu* action = window->menuOf(kActionMenuKey);
    // The engine is idle while a file dialog is open, so a file run is over
    // only once its last dialog has been answered too.
    int accepted = 0;
    int dialogs = 0;
    const auto run = [&](int entry, int command) {
        emit action->hovered(action->actions().at(entry));
        window->runCommand(command);
        ASSERT_TRUE(waitFor([&] { return accepted == dialogs && engine().idle(); }, 20000));
        EXPECT_EQ(engine().outcome(), RunOutcome::Completed) << command;
    };

    // "&File readout" / "&All": the three files of one name, each dialog
    // confirmed as it comes.
    dialogs = 3;
    std::function<void(QFileDialog*)> confirm = [&](QFileDialog* files) {
        if (accepted++ == 0) files->selectFile(dir.filePath("show.K5s"));
        static_cast<QDialog*>(files)->accept();
        if (accepted < 3) QTimer::singleShot(0, [&] { whenModal<QFileDialog>(confirm); });
    };
    whenModal<QFileDialog>(confirm);
    run(3, kCmdAll);
    ASSERT_EQ(accepted, 3);
    ControllerImage& image = program->application().image();
    ASSERT_EQ(image.scenes, show->scenes);

    // Programme 2, scene 3: fixture 1's first channel to 200.
    whenModal<LaidOutDialog>([](LaidOutDialog* d) {
        retype(d->field(kEditProgramme), "2");
        retype(d->field(kEditScene), "3");
        d->button(kEditLoad)->click();
        retype(d->field(kEditFirstValue), "200");
        d->button(kEditAccept)->click();
        d->button(kEditFinish)->click();
    });
    window->runCommand(kCmdSceneEditor);
    // Programme 1 ends at its scene 5.
    whenModal<LaidOutDialog>([](LaidOutDialog* d) {
        retype(d->field(settingsEnd(0)), "5");
        d->button(kSettingsAccept)->click();
    });
    window->runCommand(kCmdSettingsEditor);
    // MIDI key 60 plays programme 3, scene 5.
    whenModal<LaidOutDialog>([](LaidOutDialog* d) {
        retype(d->field(midiProgrammeField(0)), "3");
        retype(d->field(midiSceneField(0)), "5");
        d->button(kMidiAccept)->click();
    });
    window->runCommand(kCmdMidiEditor);
    const auto edited = static_cast<std::size_t>(sceneIndexOf(1, 2));
    ASSERT_EQ(image.scenes[edited][0], 200);
    ASSERT_EQ(image.endScene[0], 5);
    ASSERT_EQ(image.midi[60] & 0x3FF, sceneIndexOf(2, 4));

    // "Write to &controller": that scene, the settings, the MIDI assignments.
    testing::answerRange("2", "3", "2", "3");
    run(7, kCmdScenes);
    run(7, kCmdSettings);
    run(7, kCmdMidi);

    emulator->stop();
    std::ifstream file(memory.toStdString(), std::ios::binary);
    std::vector<std::uint8_t> written((std::istreambuf_iterator<char>(file)),
                                      std::istreambuf_iterator<char>());
    ASSERT_GE(written.size(), static_cast<std::size_t>(kBlocks) * kBlockSize);
    const auto block = [&](std::uint32_t b) { return written.begin() + static_cast<long>(b) * kBlockSize; };
    EXPECT_TRUE(std::equal(image.scenes[edited].begin(), image.scenes[edited].end(), block(2 * edited)));
    const Block settings = packBlock(image, kFirstSettingsBlock);
    EXPECT_TRUE(std::equal(settings.begin(), settings.end(), block(kFirstSettingsBlock)));
    const Block midi = packBlock(image, kFirstMidiBlock);
    EXPECT_TRUE(std::equal(midi.begin(), midi.end(), block(kFirstMidiBlock)));
    // Nothing else was written: the scene before the edited one is still dark.
    EXPECT_TRUE(std::all_of(block(2 * edited - 2), block(2 * edited), [](std::uint8_t v) { return v == 0; }));
}

// On the paced line: how much of the machine the program takes while it
// reads, and how soon Escape ends the run. VELORA_E2E_FULL=1 measures a
// whole "&All" read (about 82 s); otherwise its first 200 blocks (about 8 s).
TEST_F(DesktopE2e, PacedReadCostsLittleAndEscapeEndsItAtOnce) {
    startWith({"--demo", "--paced"});
    ASSERT_TRUE(waitFor([&] { return engine().idle(); }, 5000));
    const bool full = qEnvironmentVariableIntValue("VELORA_E2E_FULL") == 1;

    const double cpu0 = cpuSeconds();
    const auto ticks0 = program->pump().counters().ticks;
    const auto start = std::chrono::steady_clock::now();
    readFromMenu(3);  // "&All"
    ASSERT_FALSE(engine().idle());
    if (full) {
        ASSERT_TRUE(waitFor([&] { return engine().idle(); }, 200000));
        EXPECT_EQ(engine().outcome(), RunOutcome::Completed);
    } else {
        ASSERT_TRUE(waitFor([&] { return engine().currentBlock() >= 200; }, 20000));
    }
    const double wall = since(start);
    const double cpu = cpuSeconds() - cpu0;
    const std::uint32_t blocks = full ? 2048 : engine().currentBlock();
    const auto ticks = program->pump().counters().ticks - ticks0;
    std::printf(
        "paced read: %u blocks in %.2f s (line limit %.2f s), %.1f engine steps a block, "
        "CPU %.3f s = %.2f %% of the wall time\n",
        blocks, wall, blocks * 140 / 3490.9, static_cast<double>(ticks) / blocks, cpu, 100.0 * cpu / wall);
    EXPECT_LT(wall, 1.03 * blocks * 140 / 3490.9 + 0.5);
    // The engine is stepped only when the line can have moved it on, never
    // for each byte: send, written, most of the reply in, replied, next
    // block, and little more.
    EXPECT_LE(ticks, 8u * blocks);
    // Most of what remains is taking in the reply as the line delivers it.
    EXPECT_LT(cpu / wall, 0.10);

    if (full) {
        readFromMenu(3);
        ASSERT_TRUE(waitFor([&] { return engine().currentBlock() >= 50; }, 20000));
    }
    // Escape arrives like input from the window system: queued behind whatever is pending.
    ASSERT_FALSE(engine().idle());
    const auto pressed = std::chrono::steady_clock::now();
    QCoreApplication::postEvent(window, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    ASSERT_TRUE(waitFor([&] { return engine().idle(); }, 1000, 1));
    const double escape = since(pressed);
    std::printf("Escape to the end of the run: %.2f ms\n", escape * 1000);
    EXPECT_LT(escape, 0.05);
    EXPECT_EQ(engine().outcome(), RunOutcome::Stopped);
}

}  // namespace
}  // namespace velora
