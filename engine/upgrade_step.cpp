// The upgrade commands, 110 "&Installing" and 111 "&Veryfication": the
// upgrade file is chosen, read and checked whole, the version questions are
// asked, and only then does the run over the firmware records start.

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "engine/engine.h"
#include "engine/engine_texts.h"
#include "upgrade/version_questions.h"

namespace velora {

namespace {

namespace fs = std::filesystem;

// The "Upgrades" entry of the shared filter list.
constexpr int kUpgradeFilterIndex = 4;
constexpr const char* kUpgradeExtension = "upg";

// Names travel through the program as UTF-8.
fs::path pathOf(const std::string& name) {
    return fs::path(std::u8string(name.begin(), name.end()));
}

}  // namespace

void TransferEngine::startUpgrade(bool install) {
    if (!idle()) return;
    if (!beginLineRun()) {
        outcome_ = RunOutcome::Failed;
        return;
    }
    cleanVerification_ = true;
    upgradeVerification_ = UpgradeVerification::NotFinished;

    std::vector<UpgradeRecord> records;
    const RunOutcome step = upgradeFileStep(install, records);
    if (step != RunOutcome::Completed) {
        outcome_ = step;
        ui_.repaint();  // the status bar leaves "\tInitiating"
        return;
    }

    // Accepted: the new list replaces any earlier one, and the run starts
    // on a line with nothing left over in either direction.
    link_.purge();
    records_ = std::move(records);
    region_ = Region::Firmware;
    action_ = install ? Action::WriteController : Action::Verify;
    recordIndex_ = 0;
    // The scene range of the last memory run stays as it was: "&Repeat" and
    // the next range dialog must not take the record count for a scene.
    state_ = TransferState::SendFrame;
    ui_.setStatusText(2, kUpgradeStatusText);
    startRunOnLine();
    outcome_ = RunOutcome::Running;
    if (events_) events_->runStarted(action_, region_);
}

// Completed with `records` filled when the file was accepted; Stopped when
// the dialog was cancelled or a version question answered No; Failed when
// the file was refused (its message shown).
RunOutcome TransferEngine::upgradeFileStep(bool install, std::vector<UpgradeRecord>& records) {
    ui_.setStatusText(1, regionText(Region::Firmware));
    ui_.setStatusText(2, kInitiatingText);

    FileDialogRequest& dialog = fileDialog_;
    dialog.title = kChooseUpgradeFileTitle;
    dialog.filterIndex = kUpgradeFilterIndex;
    dialog.defaultExtension = kUpgradeExtension;
    dialog.path.clear();
    dialog.flags = PathMustExist | FileMustExist;
    if (!ui_.openFileDialog(dialog) || dialog.path.empty()) return RunOutcome::Stopped;
    const std::string name = dialog.path;
    const fs::path path = pathOf(name);

    const auto fault = [this](const char* text) {
        ui_.messageBox(text, kUpgradeErrorCaption, Icon::Information, Buttons::Ok);
        return RunOutcome::Failed;
    };
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (status.type() == fs::file_type::not_found) {
        ui_.messageBox(fileMissingText(name), kWarningCaption, Icon::Information, Buttons::Ok);
        return RunOutcome::Failed;
    }
    // Only plain files: a folder has nothing to read and a pipe or device
    // could keep the program waiting for ever. The file is closed when this
    // step ends, whatever its end.
    std::ifstream in;
    if (fs::is_regular_file(status)) in.open(path, std::ios::binary);
    if (!in.is_open()) return fault(upgradeErrorText(UpgradeError::OpenFailed));

    UpgradeFileReader reader(in);
    UpgradeError error = reader.readHead();
    if (error != UpgradeError::None) return fault(upgradeErrorText(error));

    for (const VersionQuestion& question :
         versionQuestions(install, reader.fileVersion(), controllerVersionOf(firmwareText_))) {
        if (ui_.messageBox(question.text, question.title, Icon::Question, Buttons::YesNo) != Answer::Yes)
            return RunOutcome::Stopped;
    }

    error = reader.readRecords(records);
    if (error != UpgradeError::None) return fault(upgradeErrorText(error));
    return RunOutcome::Completed;
}

}  // namespace velora
