#include "files/file_step.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>

#include "files/atomic_save.h"
#include "files/data_files.h"
#include "link/engine.h"

#if defined(__unix__) || defined(__APPLE__)
#include <unistd.h>
#define VELORA_POSIX_ACCESS 1
#endif

namespace velora {

namespace fs = std::filesystem;

namespace {

// Names travel through the program as UTF-8.
fs::path pathOf(const std::string& name) {
    return fs::path(std::u8string(name.begin(), name.end()));
}

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

// An existing file that nobody may write to, or that this user may not.
bool isReadOnly(const fs::path& path) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (!fs::is_regular_file(status)) return false;
    constexpr fs::perms kAnyWrite = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    if ((status.permissions() & kAnyWrite) == fs::perms::none) return true;
#ifdef VELORA_POSIX_ACCESS
    return ::access(path.c_str(), W_OK) != 0;
#else
    return false;
#endif
}

void showFault(UserInterface& ui, const std::string& text) {
    ui.messageBox(text, "Fault", Icon::Error, Buttons::Ok);
}

void showProblem(UserInterface& ui, const std::string& text) {
    ui.messageBox(text, "We've got a problem", Icon::Warning, Buttons::Ok);
}

// Open dialog, then the file into the image: Completed when the whole
// layout was read, Stopped when the dialog was cancelled, else Failed.
RunOutcome readStep(TransferEngine& engine) {
    EngineVariables& v = engine.vars();
    UserInterface& ui = engine.ui();
    FileDialogRequest& dialog = v.fileDialog;
    dialog.title = "Choose data file :";
    dialog.flags = PathMustExist | FileMustExist;
    if (!ui.openFileDialog(dialog) || dialog.path.empty()) {
        v.action = Action::NoAction;
        return RunOutcome::Stopped;
    }
    // Some dialogs leave a typed bare name as it is.
    if (!hasExtension(dialog.path) && !exists(dialog.path)) dialog.path += "." + dialog.defaultExtension;
    const std::string& name = dialog.path;
    const fs::path path = pathOf(name);

    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (status.type() == fs::file_type::not_found) {
        ui.messageBox("File " + name + " doesn't exist !", "Warning", Icon::Error, Buttons::Ok);
        return RunOutcome::Failed;
    }
    // Only plain files: a folder has nothing to read and a pipe or device
    // could keep the program waiting for ever.
    std::ifstream in;
    if (fs::is_regular_file(status)) in.open(path, std::ios::binary);
    if (!in.is_open()) {
        showFault(ui, "File open error !");
        return RunOutcome::Failed;
    }
    if (!readDataFile(in, engine.image(), v.region)) {
        showFault(ui, name + " :\nRead fault !");
        return RunOutcome::Failed;
    }
    return RunOutcome::Completed;
}

// Save dialog, then the image into the file: Completed when the file was
// saved, Stopped when the dialog was cancelled, else Failed.
RunOutcome writeStep(TransferEngine& engine) {
    EngineVariables& v = engine.vars();
    UserInterface& ui = engine.ui();
    FileDialogRequest& dialog = v.fileDialog;
    dialog.title = "Choose file for writing :";
    dialog.flags = OverwritePrompt | HideReadOnly | CreatePrompt | NoReadOnlyReturn;
    if (!ui.saveFileDialog(dialog) || dialog.path.empty()) {
        v.action = Action::NoAction;
        return RunOutcome::Stopped;
    }
    if (!hasExtension(dialog.path)) dialog.path += "." + dialog.defaultExtension;
    const std::string& name = dialog.path;
    const fs::path path = pathOf(name);

    if (isReadOnly(path)) {
        showFault(ui, name + " :\nNo write access !");
        return RunOutcome::Failed;
    }
    std::ostringstream out(std::ios::binary);
    if (!writeDataFile(out, engine.image(), v.region)) {
        showFault(ui, name + " :\nWrite fault !");
        return RunOutcome::Failed;
    }
    switch (saveAtomically(path, out.view())) {
        case SaveResult::Saved:
        case SaveResult::SavedInPlace:
            return RunOutcome::Completed;
        case SaveResult::OpenFailed:
            showFault(ui, "File open error !");
            return RunOutcome::Failed;
        case SaveResult::WriteFailed:
            showFault(ui, name + " :\nWrite fault !");
            return RunOutcome::Failed;
    }
    return RunOutcome::Failed;
}

// After a successful step of an "&All" run: the next region's file, under
// the same name with that region's extension.
void chainNextFile(EngineVariables& v) {
    v.region = v.region == Region::Scenes ? Region::Settings : Region::Midi;
    v.fileDialog.path = withExtension(v.fileDialog.path, dataFileExtension(v.region));
    v.state = TransferState::FileStep;
}

}  // namespace

void runFileStep(TransferEngine& engine) {
    EngineVariables& v = engine.vars();
    UserInterface& ui = engine.ui();
    ui.setStatusText(1, "\tFile");
    ui.enableActionEntry(kRepeatEntry, false);

    // Idle while the dialog is open; the run ends here unless a chained step
    // follows.
    v.state = TransferState::Idle;
    RunOutcome outcome = RunOutcome::Failed;
    if (!hasDataFile(v.region)) {
        showProblem(ui, "Invalid field : " + std::to_string(static_cast<int>(v.region)) + " !");
        v.action = Action::NoAction;
    } else {
        v.fileDialog.filterIndex = static_cast<int>(v.region) + 1;
        v.fileDialog.defaultExtension = dataFileExtension(v.region);
        switch (v.action) {
            case Action::FileRead:
                outcome = readStep(engine);
                break;
            case Action::FileWrite:
                outcome = writeStep(engine);
                break;
            default:
                showProblem(ui, "Invalid action : " + std::to_string(static_cast<int>(v.action)) + " !");
                v.action = Action::NoAction;
                break;
        }
    }
    // The MIDI file ends an "&All" chain.
    if (outcome == RunOutcome::Completed && v.wholeImage && v.region != Region::Midi) {
        chainNextFile(v);
        return;
    }
    engine.endRun(outcome);
}

}  // namespace velora
