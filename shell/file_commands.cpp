#include "shell/file_commands.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>

#include "engine/engine_texts.h"
#include "files/atomic_save.h"
#include "files/data_files.h"
#include "files/file_reason.h"
#include "shell/application.h"
#include "shell/file_texts.h"
#include "shell/menu_model.h"
#include "shell/shell_texts.h"
#include "shell/status_bar_model.h"

namespace velora {

namespace fs = std::filesystem;

namespace {

std::string nameOf(const fs::path& path) {
    const std::u8string name = path.u8string();
    return std::string(name.begin(), name.end());
}

// `name` with `extension` in place of the extension of its last part; a
// name without one gets it appended. Folder names are never touched.
std::string withExtension(const std::string& name, std::string_view extension) {
    fs::path path = pathOf(name);
    path.replace_extension(pathOf("." + std::string(extension)));
    return nameOf(path);
}

bool hasExtension(const std::string& name) {
    return pathOf(name).has_extension();
}

bool exists(const std::string& name) {
    std::error_code ec;
    return fs::exists(pathOf(name), ec);
}

// Why an existing file may not be written: nobody may write to it, or this
// user may not. Empty when it may be written (or does not exist).
std::string whyReadOnly(const fs::path& path) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (!fs::is_regular_file(status)) return {};
    constexpr fs::perms kAnyWrite = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    if ((status.permissions() & kAnyWrite) == fs::perms::none) return "read-only file";
    if (const int error = writeAccessError(path)) return std::strerror(error);
    return {};
}

// Why a file ended the read of a region's layout early: shorter than the
// layout, or the system's error.
std::string whyReadFailed(const std::string& name, Region region, int error) {
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(pathOf(name), ec);
    if (!ec && size < dataFileSize(region))
        return "it holds " + std::to_string(size) + " bytes, less than the " +
               std::to_string(dataFileSize(region)) + " of its layout";
    return error != 0 ? std::strerror(error) : "the file could not be read";
}

// A file fault: its fixed text, with the file and the system's reason under it.
void showFault(UserInterface& ui, const std::string& text, const std::string& name, const std::string& why) {
    ui.messageBoxWithReason(text, kFaultCaption, Icon::Error, Buttons::Ok, name + ": " + why);
}

// "File open error !" with the file and the system's reason under it.
void showOpenFault(UserInterface& ui, const std::string& name, const std::string& why) {
    ui.messageBoxWithReason(kFileOpenErrorText, kFaultCaption, Icon::Error, Buttons::Ok, name + ": " + why);
}

void showProblem(UserInterface& ui, const std::string& text) {
    ui.messageBox(text, kProblemCaption, Icon::Warning, Buttons::Ok);
}

// One file step of a data-file command: its region's file read into the
// image, or the image saved into it.
class FileStep {
  public:
    FileStep(Application& app, Region region)
        : app_(app), ui_(app.ui()), dialog_(app.fileDialog()), region_(region) {}

    // Open dialog, then the file into the image: Completed when the whole
    // layout was read, Stopped when the dialog was cancelled, else Failed.
    RunOutcome read();
    // Save dialog, then the image into the file: Completed when the file was
    // saved, Stopped when the dialog was cancelled or a question answered
    // No, else Failed.
    RunOutcome write();

  private:
    bool confirmIncompleteRead();
    bool confirmSaveOfUnfilled();

    Application& app_;
    UserInterface& ui_;
    FileDialogRequest& dialog_;
    Region region_;
};

RunOutcome FileStep::read() {
    FileDialogRequest& dialog = dialog_;
    dialog.title = kChooseDataFileTitle;
    dialog.flags = PathMustExist | FileMustExist;
    if (!ui_.openFileDialog(dialog) || dialog.path.empty()) return RunOutcome::Stopped;
    // Some dialogs leave a typed bare name as it is.
    if (!hasExtension(dialog.path) && !exists(dialog.path)) dialog.path += "." + dialog.defaultExtension;
    const std::string& name = dialog.path;
    std::ifstream in;
    if (const auto refused = openToRead(name, in)) {
        if (refused->missing)
            ui_.messageBoxWithReason(fileMissingText(name), kWarningCaption, Icon::Error, Buttons::Ok,
                                     name + ": " + refused->reason);
        else
            showOpenFault(ui_, name, refused->reason);
        return RunOutcome::Failed;
    }
    errno = 0;
    if (!readDataFile(in, app_.image(), region_)) {
        const int error = errno;
        showFault(ui_, readFaultText(name), name, whyReadFailed(name, region_, error));
        return RunOutcome::Failed;
    }
    // The image now holds the file's region whole.
    app_.filledBlocks().markRegion(region_);
    app_.engine().forgetIncompleteRead(region_);
    app_.inStepWithFile(region_);
    return RunOutcome::Completed;
}

// A region whose last read from the controller stopped early would be saved
// half from the controller and half from before: the user decides.
bool FileStep::confirmIncompleteRead() {
    const std::optional<IncompleteRead> mark = app_.engine().incompleteRead(region_);
    if (!mark) return true;
    return ui_.messageBox(incompleteReadQuestion(region_, mark->stoppedAt), kWarningCaption, Icon::Question,
                          Buttons::YesNo, Answer::No) == Answer::Yes;
}

// A region holding blocks the program never filled would be saved with
// zeros for a show: the user decides, No the default.
bool FileStep::confirmSaveOfUnfilled() {
    const std::string unfilled = app_.filledBlocks().describeUnfilled(blockRangeOf(region_));
    if (unfilled.empty()) return true;
    return ui_.messageBox(unfilledSaveQuestion(unfilled), kWarningCaption, Icon::Question, Buttons::YesNo,
                          Answer::No) == Answer::Yes;
}

RunOutcome FileStep::write() {
    // One question a region: the stopped read says more than the blocks
    // never filled that it leaves.
    if (app_.engine().incompleteRead(region_) ? !confirmIncompleteRead() : !confirmSaveOfUnfilled())
        return RunOutcome::Stopped;
    FileDialogRequest& dialog = dialog_;
    dialog.title = kChooseFileForWritingTitle;
    dialog.flags = OverwritePrompt | HideReadOnly | CreatePrompt | NoReadOnlyReturn;
    if (!ui_.saveFileDialog(dialog) || dialog.path.empty()) return RunOutcome::Stopped;
    if (!hasExtension(dialog.path)) dialog.path += "." + dialog.defaultExtension;
    const std::string& name = dialog.path;
    const fs::path path = pathOf(name);

    if (const std::string why = whyReadOnly(path); !why.empty()) {
        showFault(ui_, noWriteAccessText(name), name, why);
        return RunOutcome::Failed;
    }
    std::ostringstream out(std::ios::binary);
    if (!writeDataFile(out, app_.image(), region_)) {
        showFault(ui_, writeFaultText(name), name, std::strerror(ENOMEM));
        return RunOutcome::Failed;
    }
    const std::string bytes = std::move(out).str();
    const SaveOutcome saved = saveAtomically(FileToSave{path, bytes});
    switch (saved.result) {
        case SaveResult::Saved:
        case SaveResult::SavedInPlace:
            app_.inStepWithFile(region_);
            return RunOutcome::Completed;
        case SaveResult::OpenFailed:
            showOpenFault(ui_, name, saved.reason());
            return RunOutcome::Failed;
        case SaveResult::WriteFailed:
            showFault(ui_, writeFaultText(name), name, saved.reason());
            return RunOutcome::Failed;
    }
    return RunOutcome::Failed;
}

}  // namespace

RunOutcome runFileCommand(Application& app, Region region, Action action, bool all) {
    if (!app.engine().idle()) return RunOutcome::None;
    UserInterface& ui = app.ui();
    ui.setStatusText(kRegionPart, kFileRegionText);
    // A data-file run is never repeated.
    ui.enableActionEntry(kRepeatEntry, false);

    RunOutcome outcome = RunOutcome::Failed;
    for (;;) {
        if (!hasDataFile(region)) {
            showProblem(ui, invalidFieldText(static_cast<int>(region)));
            break;
        }
        FileDialogRequest& dialog = app.fileDialog();
        dialog.filterIndex = static_cast<int>(region) + 1;
        dialog.defaultExtension = dataFileExtension(region);
        // The name offered is the last one chosen with this region's
        // extension: the file of another region (or an upgrade file) is
        // never offered for this one.
        if (!dialog.path.empty()) dialog.path = withExtension(dialog.path, dialog.defaultExtension);
        FileStep step(app, region);
        if (action == Action::FileRead) {
            outcome = step.read();
        } else if (action == Action::FileWrite) {
            outcome = step.write();
        } else {
            showProblem(ui, invalidActionText(static_cast<int>(action)));
            break;
        }
        // After a successful step of an "&All" run, the next region's file;
        // the MIDI file ends the chain.
        if (outcome != RunOutcome::Completed || !all || region == Region::Midi) break;
        region = region == Region::Scenes ? Region::Settings : Region::Midi;
    }
    // An idle program never claims to be reading or writing.
    ui.repaint();
    return outcome;
}

}  // namespace velora
