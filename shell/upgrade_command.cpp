#include "shell/upgrade_command.h"

#include <fstream>
#include <string>
#include <vector>

#include "engine/engine_texts.h"
#include "files/file_reason.h"
#include "shell/application.h"
#include "shell/file_texts.h"
#include "shell/shell_texts.h"
#include "shell/status_bar_model.h"
#include "upgrade/version_questions.h"

namespace velora {

namespace {

// The "Upgrades" entry of the shared filter list.
constexpr int kUpgradeFilterIndex = 4;
constexpr const char* kUpgradeExtension = "upg";

enum class Source { Dialog, Named };

// Completed with `records` filled when the file was accepted; Stopped when
// the dialog was cancelled or a version question answered No; Failed when
// the file was refused (its message shown).
RunOutcome upgradeFileStep(Application& app, bool install, std::string name, Source source,
                           std::vector<UpgradeRecord>& records) {
    UserInterface& ui = app.ui();
    ui.setStatusText(kRegionPart, runText(RunKind::Firmware, Region::Scenes));
    ui.setStatusText(kActionPart, kInitiatingText);

    if (source == Source::Dialog) {
        FileDialogRequest& dialog = app.fileDialog();
        dialog.title = kChooseUpgradeFileTitle;
        dialog.filterIndex = kUpgradeFilterIndex;
        dialog.defaultExtension = kUpgradeExtension;
        dialog.path.clear();
        dialog.flags = PathMustExist | FileMustExist;
        if (!ui.openFileDialog(dialog) || dialog.path.empty()) return RunOutcome::Stopped;
        name = dialog.path;
    }

    const auto fault = [&ui](const char* text) {
        ui.messageBox(text, kUpgradeErrorCaption, Icon::Information, Buttons::Ok);
        return RunOutcome::Failed;
    };
    // The file is closed when this step ends, whatever its end.
    std::ifstream in;
    if (const auto refused = openToRead(name, in)) {
        if (refused->missing)
            ui.messageBox(fileMissingText(name), kWarningCaption, Icon::Information, Buttons::Ok);
        else
            ui.messageBoxWithReason(upgradeErrorText(UpgradeError::OpenFailed), kUpgradeErrorCaption,
                                    Icon::Information, Buttons::Ok, name + ": " + refused->reason);
        return RunOutcome::Failed;
    }

    UpgradeFileReader reader(in);
    UpgradeError error = reader.readHead();
    if (error != UpgradeError::None) return fault(upgradeErrorText(error));

    for (const VersionQuestion& question :
         versionQuestions(install, reader.fileVersion(), controllerVersionOf(app.engine().firmwareText()))) {
        if (ui.messageBox(question.text, question.title, Icon::Question, Buttons::YesNo) != Answer::Yes)
            return RunOutcome::Stopped;
    }

    error = reader.readRecords(records);
    if (error != UpgradeError::None) return fault(upgradeErrorText(error));
    return RunOutcome::Completed;
}

RunOutcome upgrade(Application& app, bool install, const std::string& name, Source source) {
    TransferEngine& engine = app.engine();
    if (!engine.idle()) return RunOutcome::None;
    if (!engine.prepareLine()) return RunOutcome::Failed;
    std::vector<UpgradeRecord> records;
    const RunOutcome step = upgradeFileStep(app, install, name, source, records);
    if (step != RunOutcome::Completed) {
        app.ui().repaint();  // the status bar leaves "\tInitiating"
        return step;
    }
    engine.startFirmwareRun(std::move(records), install);
    return engine.idle() ? RunOutcome::Failed : RunOutcome::Running;
}

}  // namespace

RunOutcome startUpgrade(Application& app, bool install) {
    return upgrade(app, install, {}, Source::Dialog);
}

RunOutcome startUpgradeFrom(Application& app, const std::string& name, bool install) {
    return upgrade(app, install, name, Source::Named);
}

}  // namespace velora
