#include <gtest/gtest.h>
#ifndef _WIN32
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>

#include "engine/engine.h"
#include "files/atomic_save.h"
#include "files/data_files.h"
#include "files/file_reason.h"
#include "shell/application.h"
#include "shell/file_commands.h"
#include "shell/menu_model.h"
#include "tests/support/recorded_events.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/virtual_port_factory.h"

namespace velora {
namespace {

namespace fs = std::filesystem;
using testing::ScriptedUi;
using testing::UiEvent;
using Bytes = std::string;

// A fresh directory per test, removed afterwards.
class TempDir {
  public:
    TempDir() {
        static int counter = 0;
        path_ = fs::temp_directory_path() /
                ("velora-files-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    std::vector<std::string> entries(const fs::path& dir) const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }

  private:
    fs::path path_;
};

Bytes randomBytes(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    Bytes out(n, '\0');
    for (char& c : out) c = static_cast<char>(gen() & 0xFF);
    return out;
}

// An image with every byte of every field set, different for each seed.
ControllerImage filledImage(unsigned seed) {
    ControllerImage image;
    for (Region r : {Region::Scenes, Region::Settings, Region::Midi}) {
        std::istringstream in(randomBytes(dataFileSize(r), seed + static_cast<unsigned>(r)));
        EXPECT_TRUE(readDataFile(in, image, r));
    }
    return image;
}

Bytes layoutOf(const ControllerImage& image, Region region) {
    std::ostringstream out;
    EXPECT_TRUE(writeDataFile(out, image, region));
    return out.str();
}

Bytes fileContent(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void putFile(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

constexpr Region kFileRegions[] = {Region::Scenes, Region::Settings, Region::Midi};

// --- layouts ---------------------------------------------------------------

TEST(DataFiles, ZeroImageGivesZeroFilesOfTheLayoutSizes) {
    const ControllerImage image;
    EXPECT_EQ(layoutOf(image, Region::Scenes), Bytes(261632, '\0'));
    EXPECT_EQ(layoutOf(image, Region::Settings), Bytes(202, '\0'));
    EXPECT_EQ(layoutOf(image, Region::Midi), Bytes(256, '\0'));
    std::ostringstream out;
    EXPECT_FALSE(writeDataFile(out, image, static_cast<Region>(3)));
}

TEST(DataFiles, FieldsSitAtTheirOffsetsLowByteFirst) {
    ControllerImage image;
    image.scenes[3][7] = 0x37;
    image.scenes[1021][255] = 0x99;
    image.endScene[0] = 1;
    image.speedSync[47] = 254;
    image.fade[0] = 0x42;
    image.specialButtonsMode = 0x0105;
    image.slowMode = 0xFFFF;
    image.strobeScene = 0x03FD;
    image.fogScene = kNoScene;
    image.extraScene = 0x0201;
    image.cues[0][0] = 7;
    image.cues[2][15] = kEmptyCue;
    image.midi[5] = 0xA1B2;

    const Bytes scenes = layoutOf(image, Region::Scenes);
    EXPECT_EQ(scenes[3 * 256 + 7], '\x37');
    EXPECT_EQ(scenes[261631], '\x99');

    Bytes settings(202, '\0');
    settings[0] = 1;
    settings[95] = '\xFE';
    settings[96] = 0x42;
    settings.replace(144, 10, "\x05\x01\xFF\xFF\xFD\x03\xFF\xFF\x01\x02", 10);
    settings[154] = 7;
    settings[201] = '\xFF';
    EXPECT_EQ(layoutOf(image, Region::Settings), settings);

    Bytes midi(256, '\0');
    midi[10] = '\xB2';
    midi[11] = '\xA1';
    EXPECT_EQ(layoutOf(image, Region::Midi), midi);
}

TEST(DataFiles, FilledImageRoundTripsByteForByte) {
    const ControllerImage source = filledImage(11);
    for (Region r : kFileRegions) {
        const Bytes saved = layoutOf(source, r);
        ControllerImage loaded;
        std::istringstream in(saved);
        EXPECT_TRUE(readDataFile(in, loaded, r));
        EXPECT_EQ(layoutOf(loaded, r), saved) << "region " << static_cast<int>(r);
    }
}

// Whatever the length of a file, the image afterwards holds the file's bytes
// as far as it goes and its own bytes after that; only a complete layout
// counts as read. Covers every place at which a file can end: inside a scene,
// inside a 16-bit field, between fields, and past the layout.
TEST(DataFiles, TruncatedAndOversizedFilesKeepExactlyWhatTheyHeld) {
    for (Region r : kFileRegions) {
        const std::size_t size = dataFileSize(r);
        for (std::size_t length : {std::size_t{0}, std::size_t{1}, std::size_t{145}, std::size_t{146},
                                   std::size_t{147}, std::size_t{153}, std::size_t{201}, std::size_t{255},
                                   std::size_t{1000}, size - 1, size, size + 1000}) {
            if (length > size + 1000) continue;
            const ControllerImage before = filledImage(21);
            ControllerImage image = before;
            const Bytes file = randomBytes(length, 31 + static_cast<unsigned>(length));
            std::istringstream in(file);
            EXPECT_EQ(readDataFile(in, image, r), length >= size) << "length " << length;

            const std::size_t held = std::min(length, size);
            const Bytes expected = file.substr(0, held) + layoutOf(before, r).substr(held);
            EXPECT_EQ(layoutOf(image, r), expected)
                << "region " << static_cast<int>(r) << " length " << length;
            for (Region other : kFileRegions) {
                if (other == r) continue;
                EXPECT_EQ(layoutOf(image, other), layoutOf(before, other));
            }
        }
    }
}

TEST(DataFiles, SettingsFileOf147BytesReplacesOnlyTheLowByteOfTheSlowModeFlag) {
    ControllerImage image;
    image.slowMode = 0xABCD;
    image.strobeScene = 0x0123;
    image.cues[1][3] = 9;
    Bytes file(147, '\x05');
    file[146] = 0x12;
    std::istringstream in(file);
    EXPECT_FALSE(readDataFile(in, image, Region::Settings));
    EXPECT_EQ(image.fade[47], 5);
    EXPECT_EQ(image.specialButtonsMode, 0x0505);
    EXPECT_EQ(image.slowMode, 0xAB12);
    EXPECT_EQ(image.strobeScene, 0x0123);
    EXPECT_EQ(image.cues[1][3], 9);
}

// --- opening to read --------------------------------------------------------

#ifndef _WIN32
TEST(FileReason, SaysWhyAFileCannotBeReadAndOpensAPipeOnlyWhenAStreamIsAllowed) {
    TempDir dir;
    putFile(dir / "show.K5p", "x");
    fs::create_directory(dir / "folder.K5p");
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    struct Case {
        std::string name;
        FileKinds kinds;
        std::optional<std::string> reason;  // nullopt: opened
    };
    const std::vector<Case> cases{
        {"show.K5p", FileKinds::Plain, std::nullopt},
        {"none.K5p", FileKinds::Plain, std::strerror(ENOENT)},
        {"show.K5p/x", FileKinds::Plain, std::strerror(ENOENT)},
        {"folder.K5p", FileKinds::PlainOrStream, "it is a folder"},
        {"pipe", FileKinds::Plain, "not a plain file"},
        {"pipe", FileKinds::PlainOrStream, std::nullopt},
    };
    // Held open for writing, so that opening the pipe to read it does not wait.
    const int writer = ::open((dir / "pipe").c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(writer, 0);
    for (const Case& c : cases) {
        std::ifstream in;
        const std::optional<FileRefusal> refused = openToRead(dir / c.name, in, c.kinds);
        EXPECT_EQ(refused ? std::optional(refused->reason) : std::nullopt, c.reason) << c.name;
        EXPECT_EQ(refused && refused->missing, c.reason == std::strerror(ENOENT)) << c.name;
        EXPECT_EQ(in.is_open(), !refused) << c.name;
    }
    ::close(writer);
}

// --- atomic saving ---------------------------------------------------------

TEST(AtomicSave, ReplacesTheFileKeepingModeAndLinkAndLeavesNothingBehind) {
    TempDir dir;
    const std::string target = dir / "show.K5m";
    putFile(target, "old");
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink(target, dir / "link.K5m");

    EXPECT_EQ(saveAtomically(dir / "link.K5m", "new content"), SaveResult::Saved);
    EXPECT_EQ(fileContent(target), "new content");
    EXPECT_TRUE(fs::is_symlink(dir / "link.K5m"));
    EXPECT_EQ(fs::status(target).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(dir.entries(dir.path()), (std::vector<std::string>{"link.K5m", "show.K5m"}));
}

TEST(AtomicSave, FailedRenameKeepsWhatWasThereAndRemovesTheTemporaryFile) {
    TempDir dir;
    // A directory cannot be replaced by a file, whoever runs the test.
    fs::create_directory(dir / "show.K5s");
    putFile(dir / "show.K5s/keep", "kept");
    EXPECT_EQ(saveAtomically(dir / "show.K5s", "new"), SaveResult::WriteFailed);
    EXPECT_EQ(fileContent(dir / "show.K5s/keep"), "kept");
    // Nor is a pipe replaced by a file.
    ASSERT_EQ(::mkfifo((dir / "pipe.K5m").c_str(), 0600), 0);
    EXPECT_EQ(saveAtomically(dir / "pipe.K5m", "new"), SaveResult::OpenFailed);
    EXPECT_TRUE(fs::is_fifo(dir / "pipe.K5m"));
    EXPECT_EQ(dir.entries(dir.path()), (std::vector<std::string>{"pipe.K5m", "show.K5s"}));
}

// The names in `folder`, sorted.
std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(folder)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

// Saves as a user who cannot write into the target's folder: the test's own
// user, or for root, who writes anywhere, "nobody" in a forked child that
// hands the result back as its exit status. Nothing when the child could not
// become nobody.
std::optional<SaveResult> saveAsUnprivilegedUser(const fs::path& target, std::string_view bytes) {
    if (::geteuid() != 0) return saveAtomically(target, bytes);
    constexpr int kNotNobody = 100;
    const pid_t pid = ::fork();
    if (pid < 0) return std::nullopt;
    if (pid == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(kNotNobody);
        ::_exit(static_cast<int>(saveAtomically(target, bytes)));
    }
    int status = 0;
    const bool exited = ::waitpid(pid, &status, 0) == pid && WIFEXITED(status);
    if (exited && WEXITSTATUS(status) == kNotNobody) return std::nullopt;
    EXPECT_TRUE(exited) << "the saving child did not end normally";
    return static_cast<SaveResult>(exited ? WEXITSTATUS(status) : kNotNobody);
}

TEST(AtomicSave, WritableFileInAFolderTheUserCannotWriteIsSavedInPlace) {
    const bool root = ::geteuid() == 0;
    // Root's child runs as nobody, who must be able to reach the folder.
    const fs::path folder = (root ? fs::path("/tmp") : fs::temp_directory_path()) /
                            ("velora-in-place-" + std::to_string(::getpid()));
    struct Removal {
        fs::path folder;
        ~Removal() {
            std::error_code ec;
            fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add, ec);
            fs::remove_all(folder, ec);
        }
    } removal{folder};
    fs::remove_all(folder);
    fs::create_directory(folder);
    const fs::path target = folder / "show.K5s";
    putFile(target, "old, longer content");  // longer, so that what is not cut off shows
    fs::permissions(target, fs::perms(0666));
    fs::permissions(folder, fs::perms(root ? 0755 : 0555));

    const std::optional<SaveResult> result = saveAsUnprivilegedUser(target, "new");
    if (!result) GTEST_SKIP() << "cannot save as the user nobody";
    EXPECT_EQ(*result, SaveResult::SavedInPlace);
    EXPECT_EQ(fileContent(target), "new");
    EXPECT_EQ(fs::status(target).permissions(), fs::perms(0666));
    EXPECT_EQ(namesIn(folder), std::vector<std::string>{"show.K5s"});
}

TEST(AtomicSave, TargetUnderARegularFileFailsForEveryUserAndCreatesNothing) {
    TempDir dir;
    putFile(dir / "file", "kept");
    const SaveOutcome outcome = saveAtomically(FileToSave{dir / "file/show.K5s", "new"});
    EXPECT_EQ(outcome.result, SaveResult::OpenFailed);
    EXPECT_EQ(outcome.error, ENOTDIR);
    EXPECT_EQ(fileContent(dir / "file"), "kept");
    EXPECT_EQ(dir.entries(dir.path()), std::vector<std::string>{"file"});
}

TEST(AtomicSave, SetIsReplacedWholeOrNotAtAll) {
    TempDir dir;
    putFile(dir / "show.K5s", "old scenes");
    putFile(dir / "show.K5p", "old settings");
    fs::create_symlink(dir / "show.K5p", dir / "link.K5p");
    // A folder where the third file goes would fail only at its rename.
    fs::create_directory(dir / "show.K5m");
    putFile(dir / "show.K5m/keep", "kept");
    const std::vector<FileToSave> set{
        {dir / "show.K5s", "new scenes"}, {dir / "link.K5p", "new settings"}, {dir / "show.K5m", "new midi"}};

    const SaveOutcome refused = saveAllAtomically(set);
    EXPECT_EQ(refused.result, SaveResult::OpenFailed);
    EXPECT_EQ(refused.failedIndex, 2u);
    EXPECT_EQ(refused.error, EISDIR);
    EXPECT_EQ(refused.replaced, 0u);
    EXPECT_EQ(fileContent(dir / "show.K5s"), "old scenes");
    EXPECT_EQ(fileContent(dir / "show.K5p"), "old settings");
    EXPECT_EQ(fileContent(dir / "show.K5m/keep"), "kept");
    EXPECT_EQ(dir.entries(dir.path()),
              (std::vector<std::string>{"link.K5p", "show.K5m", "show.K5p", "show.K5s"}));

    fs::remove_all(dir / "show.K5m");
    putFile(dir / "show.K5m", "old midi");
    EXPECT_EQ(saveAllAtomically(set).result, SaveResult::Saved);
    EXPECT_EQ(fileContent(dir / "show.K5s"), "new scenes");
    EXPECT_EQ(fileContent(dir / "show.K5p"), "new settings");
    EXPECT_EQ(fileContent(dir / "show.K5m"), "new midi");
    EXPECT_TRUE(fs::is_symlink(dir / "link.K5p"));
    EXPECT_EQ(dir.entries(dir.path()),
              (std::vector<std::string>{"link.K5p", "show.K5m", "show.K5p", "show.K5s"}));
}
#endif  // the POSIX files: pipes, modes, links, other users

// --- the file step ---------------------------------------------------------

class FileStepTest : public ::testing::Test {
  protected:
    FileStepTest() { app.filledBlocks().markAll(); }

    // A file run of one region, or "&All", ticked for as long as it chains
    // file steps.
    void run(Action action, Region region, bool wholeImage, RunOutcome expected) {
        EXPECT_EQ(runFileCommand(app, region, action, wholeImage), expected);
        EXPECT_TRUE(engine.idle());
    }

    std::vector<FileDialogRequest> dialogs() const {
        std::vector<FileDialogRequest> out;
        for (const UiEvent& e : ui.events())
            if (e.kind == UiEvent::OpenFile || e.kind == UiEvent::SaveFile) out.push_back(e.request);
        return out;
    }

    TempDir dir;
    ScriptedUi ui;
    SteadyClock clock;
    testing::VirtualPortFactory ports{clock};  // a machine without serial ports
    testing::RecordedEvents events;
    Application app{ports, ui, clock, &events};  // its filled blocks set whole: the image stands for a show
    ControllerImage& image = app.image();
    TransferEngine& engine = app.engine();
};

TEST_F(FileStepTest, AllReadThroughTheEngineReadsTheThreeFilesOfOneName) {
    const ControllerImage source = filledImage(41);
    for (Region r : kFileRegions)
        putFile(dir / ("show." + std::string(dataFileExtension(r))), layoutOf(source, r));
    ui.expectOpenFile(dir / "show.K5s").expectOpenFile(dir / "show.K5p").expectOpenFile(dir / "show.K5m");

    run(Action::FileRead, Region::Scenes, true, RunOutcome::Completed);
    for (Region r : kFileRegions) EXPECT_EQ(layoutOf(image, r), layoutOf(source, r));
    const auto asked = dialogs();
    ASSERT_EQ(asked.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(asked[i].filterIndex, i + 1);
        EXPECT_EQ(asked[i].defaultExtension, dataFileExtension(static_cast<Region>(i)));
        EXPECT_EQ(asked[i].title, "Choose data file :");
        EXPECT_EQ(asked[i].flags, PathMustExist | FileMustExist);
    }
    EXPECT_EQ(asked[1].path, dir / "show.K5p");
    EXPECT_EQ(asked[2].path, dir / "show.K5m");
    EXPECT_EQ(ui.status(1), "\tFile");
}

TEST_F(FileStepTest, AllWriteUnderADottedFolderAddsExtensionsToTheFileNameOnly) {
    fs::create_directory(dir / "a.b");
    image = filledImage(51);
    ui.expectSaveFile(dir / "a.b/show")
        .expectSaveFile(dir / "a.b/show.K5p")
        .expectSaveFile(dir / "a.b/show.K5m");
    run(Action::FileWrite, Region::Scenes, true, RunOutcome::Completed);
    EXPECT_EQ(ui.entryEnabled(kRepeatEntry), false);

    const auto asked = dialogs();
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_EQ(asked[1].path, dir / "a.b/show.K5p");
    EXPECT_EQ(asked[2].path, dir / "a.b/show.K5m");
    EXPECT_EQ(asked[0].title, "Choose file for writing :");
    EXPECT_EQ(asked[0].flags, OverwritePrompt | HideReadOnly | CreatePrompt | NoReadOnlyReturn);
    for (Region r : kFileRegions)
        EXPECT_EQ(fileContent(dir / ("a.b/show." + std::string(dataFileExtension(r)))), layoutOf(image, r));
    EXPECT_EQ(dir.entries(dir / "a.b"), (std::vector<std::string>{"show.K5m", "show.K5p", "show.K5s"}));
}

TEST_F(FileStepTest, EveryDialogOfAChainOffersTheNameWithItsOwnExtension) {
    image = filledImage(71);
    ui.expectSaveFile(dir / "show1.K5s").expectSaveFile(dir / "show1.K5p").expectSaveFile(dir / "show1.K5m");
    run(Action::FileWrite, Region::Scenes, true, RunOutcome::Completed);
    // The last name chosen was the MIDI file's; the read chain starts with the scenes.
    ui.expectOpenFile(dir / "show1.K5s").expectOpenFile(dir / "show1.K5p").expectOpenFile(dir / "show1.K5m");
    run(Action::FileRead, Region::Scenes, true, RunOutcome::Completed);
    ui.expectOpenFile(dir / "show1.K5p");
    run(Action::FileRead, Region::Settings, false, RunOutcome::Completed);
    const auto asked = dialogs();
    ASSERT_EQ(asked.size(), 7u);
    EXPECT_EQ(asked[3].path, dir / "show1.K5s");
    EXPECT_EQ(asked[6].path, dir / "show1.K5p");
}

TEST_F(FileStepTest, CancellingTheSecondDialogEndsTheChainAfterTheScenes) {
    // An existing file without an extension, in a folder with a dot.
    fs::create_directory(dir / "a.b");
    const ControllerImage source = filledImage(61);
    putFile(dir / "a.b/show", layoutOf(source, Region::Scenes));
    ui.expectOpenFile(dir / "a.b/show").expectOpenFile(std::nullopt);
    run(Action::FileRead, Region::Scenes, true, RunOutcome::Stopped);

    EXPECT_EQ(dialogs().at(1).path, dir / "a.b/show.K5p");
    EXPECT_EQ(layoutOf(image, Region::Scenes), layoutOf(source, Region::Scenes));
    EXPECT_EQ(layoutOf(image, Region::Settings), Bytes(202, '\0'));
    EXPECT_EQ(layoutOf(image, Region::Midi), Bytes(256, '\0'));
}

TEST_F(FileStepTest, ShortSceneFileKeepsWhatItHeldAndShowsTheReadFault) {
    const std::string name = dir / "short.K5s";
    putFile(name, Bytes(1000, '\x77'));
    image.scenes[3].fill(1);
    image.scenes[4].fill(1);
    ui.expectOpenFile(name).expectMessage(name + " :\nRead fault !", "Fault", Icon::Error, Buttons::Ok);
    run(Action::FileRead, Region::Scenes, true, RunOutcome::Failed);
    EXPECT_EQ(ui.reasons(),
              std::vector<std::string>{name + ": it holds 1000 bytes, less than the 261632 of its layout"});

    EXPECT_EQ(image.scenes[2][255], 0x77);
    EXPECT_EQ(image.scenes[3][231], 0x77);
    EXPECT_EQ(image.scenes[3][232], 1);
    EXPECT_EQ(image.scenes[4][0], 1);
}

TEST_F(FileStepTest, MissingFileAndReadOnlyFileAreRefusedWithTheirNamesInFull) {
    // Longer than any fixed name buffer: the message must carry all of it.
    const std::string missing = dir / (std::string(200, 'd') + "/" + std::string(200, 'n') + ".K5m");
    ui.expectOpenFile(missing).expectMessage("File " + missing + " doesn't exist !", "Warning", Icon::Error,
                                             Buttons::Ok);
    run(Action::FileRead, Region::Midi, false, RunOutcome::Failed);
    EXPECT_EQ(ui.reasons(), std::vector<std::string>{missing + ": No such file or directory"});

    const std::string locked = dir / "locked.K5p";
    putFile(locked, "previous");
    fs::permissions(locked, fs::perms::owner_read);
    ui.expectSaveFile(locked).expectMessage(locked + " :\nNo write access !", "Fault", Icon::Error,
                                            Buttons::Ok);
    run(Action::FileWrite, Region::Settings, false, RunOutcome::Failed);
    EXPECT_EQ(ui.reasons().at(1), locked + ": read-only file");
    EXPECT_EQ(fileContent(locked), "previous");
    EXPECT_EQ(dir.entries(dir.path()), std::vector<std::string>{"locked.K5p"});

    ui.expectSaveFile(dir / "no/such/folder/show.K5s")
        .expectMessage("File open error !", "Fault", Icon::Error, Buttons::Ok);
    run(Action::FileWrite, Region::Scenes, false, RunOutcome::Failed);
}

TEST_F(FileStepTest, RegionWithoutAFileIsAProblemAndShowsNoDialog) {
    ui.expectMessage("Invalid field : 3 !", "We've got a problem", Icon::Warning, Buttons::Ok);
    run(Action::FileRead, static_cast<Region>(3), false, RunOutcome::Failed);
    EXPECT_TRUE(dialogs().empty());
}

}  // namespace
}  // namespace velora
