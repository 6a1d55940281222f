// The upgrade commands, 110 "&Installing" and 111 "&Veryfication": the
// upgrade file is chosen, read and checked whole, the version questions are
// asked, and only then does the run over the firmware records start.

#include <string>

#include "engine/engine.h"
#include "engine/engine_texts.h"
#include "engine/plain_file.h"
#include "upgrade/version_questions.h"

namespace velora {

namespace {

// The "Upgrades" entry of the shared filter list.
constexpr int kUpgradeFilterIndex = 4;
constexpr const char* kUpgradeExtension = "upg";

}  // namespace

void TransferEngine::startUpgrade(bool install) {
    if (!idle()) return;
    if (!beginLineRun()) {
        outcome_ = RunOutcome::Failed;
        return;
    }
    cleanVerification_ = true;
    upgradeVerification_ = UpgradeVerification::NotFinished;
    differenceIgnored_ = false;

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
    kind_ = RunKind::Firmware;
    action_ = install ? Action::WriteController : Action::Verify;
    recordIndex_ = 0;
    // The scene range of the last memory run stays as it was: "&Repeat" and
    // the next range dialog must not take the record count for a scene.
    state_ = TransferState::SendFrame;
    ui_.setStatusText(2, kUpgradeStatusText);
    startRunOnLine();
    outcome_ = RunOutcome::Running;
    if (events_) events_->runStarted(kind_, action_, region_);
}

// Completed with `records` filled when the file was accepted; Stopped when
// the dialog was cancelled or a version question answered No; Failed when
// the file was refused (its message shown).
RunOutcome TransferEngine::upgradeFileStep(bool install, std::vector<UpgradeRecord>& records) {
    ui_.setStatusText(1, runText(RunKind::Firmware, region_));
    ui_.setStatusText(2, kInitiatingText);

    FileDialogRequest& dialog = fileDialog_;
    dialog.title = kChooseUpgradeFileTitle;
    dialog.filterIndex = kUpgradeFilterIndex;
    dialog.defaultExtension = kUpgradeExtension;
    dialog.path.clear();
    dialog.flags = PathMustExist | FileMustExist;
    if (!ui_.openFileDialog(dialog) || dialog.path.empty()) return RunOutcome::Stopped;
    const std::string name = dialog.path;

    const auto fault = [this](const char* text) {
        ui_.messageBox(text, kUpgradeErrorCaption, Icon::Information, Buttons::Ok);
        return RunOutcome::Failed;
    };
    // The file is closed when this step ends, whatever its end.
    OpenedFile file = openPlainFile(name);
    if (file.missing) {
        ui_.messageBox(fileMissingText(name), kWarningCaption, Icon::Information, Buttons::Ok);
        return RunOutcome::Failed;
    }
    if (!file.in.is_open()) {
        ui_.messageBoxWithReason(upgradeErrorText(UpgradeError::OpenFailed), kUpgradeErrorCaption,
                                 Icon::Information, Buttons::Ok, name + ": " + file.reason);
        return RunOutcome::Failed;
    }

    UpgradeFileReader reader(file.in);
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
