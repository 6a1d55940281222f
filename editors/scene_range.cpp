#include "editors/scene_range.h"

#include <string>

#include "image/controller_image.h"

namespace velora {

namespace {

constexpr std::uint32_t kLastSceneNumber = kScenes - 1;

std::uint32_t absolute(std::uint32_t programme, std::uint32_t scene) {
    return static_cast<std::uint32_t>(sceneIndexOf(programme - 1, scene - 1));
}

}  // namespace

SceneRange::SceneRange(std::uint32_t firstScene, std::uint32_t lastScene)
    : first_(firstScene > kLastSceneNumber ? 0 : firstScene),
      last_(lastScene < first_ || lastScene > kLastSceneNumber ? kLastSceneNumber : lastScene) {}

void SceneRange::show(DialogFields& dialog) const {
    const ProgrammeScene from = programmeSceneNumbers(first_);
    const ProgrammeScene to = programmeSceneNumbers(last_);
    dialog.setFieldText(kRangeFromProgramme, std::to_string(from.programme));
    dialog.setFieldText(kRangeFromScene, std::to_string(from.scene));
    dialog.setFieldText(kRangeToProgramme, std::to_string(to.programme));
    dialog.setFieldText(kRangeToScene, std::to_string(to.scene));
}

std::optional<RangeResult> SceneRange::pressOk(DialogFields& dialog, UserInterface& ui) {
    const std::uint32_t fromScene = readFieldNumber(dialog.fieldText(kRangeFromScene));
    const std::uint32_t fromProgramme = readFieldNumber(dialog.fieldText(kRangeFromProgramme));
    const std::uint32_t toScene = readFieldNumber(dialog.fieldText(kRangeToScene));
    const std::uint32_t toProgramme = readFieldNumber(dialog.fieldText(kRangeToProgramme));

    if (!validProgramme(fromProgramme)) {
        reportFieldError(ui, dialog, kRangeFromProgramme, "Programm number have to be\nbetween 1 and 48 !");
        return std::nullopt;
    }
    if (!validScene(fromProgramme, fromScene)) {
        reportFieldError(
            ui, dialog, kRangeFromScene,
            "Scene have to be\nbetween 1 and " + std::to_string(sceneCountOfProgramme(fromProgramme)) + " !");
        return std::nullopt;
    }
    if (toProgramme < fromProgramme || toProgramme > kLastProgramme) {
        reportFieldError(
            ui, dialog, kRangeToProgramme,
            "Programm number have to be\nbetween " + std::to_string(fromProgramme) + " and 48 !");
        return std::nullopt;
    }
    if (!validScene(toProgramme, toScene) || (toProgramme == fromProgramme && toScene < fromScene)) {
        reportFieldError(ui, dialog, kRangeToScene,
                         "Scene have to be\nbetween " + std::to_string(fromScene) + " and " +
                             std::to_string(sceneCountOfProgramme(toProgramme)) + " !");
        return std::nullopt;
    }
    last_ = absolute(toProgramme, toScene);
    first_ = absolute(fromProgramme, fromScene);
    return RangeResult::Chosen;
}

RangeResult SceneRange::pressAll() {
    first_ = 0;
    last_ = kLastSceneNumber;
    return RangeResult::Chosen;
}

SceneRangeModel::SceneRangeModel(SceneRange& range) : range_(range) {
    range_.show(state_);
    state_.focusWholeText(kRangeFromProgramme);
}

DialogReply SceneRangeModel::click(int id, UserInterface& ui) {
    switch (id) {
        case kDialogOk:
            // A refused field gets the focus, its text selected.
            if (const auto result = range_.pressOk(state_, ui)) return DialogReply::close(*result);
            return DialogReply::refused();
        case kRangeAll:
            return DialogReply::close(range_.pressAll());
        case kDialogCancel:
            return DialogReply::close(range_.pressCancel());
        default:
            return DialogReply::stayOpen();
    }
}

}  // namespace velora
