#include "editors/scene_editor.h"

#include <algorithm>
#include <string>

#include "editors/field_checks.h"
#include "image/controller_image.h"

namespace velora {

namespace {

constexpr const char* kNoSyncMode = "You have to choice sync mode !";
constexpr const char* kNoSyncModeCaption = "Adjustment :";
constexpr const char* kWarningCaption = "Warning";
constexpr const char* kRefusedValue = "???";

constexpr int kMostValue = 255;

constexpr std::size_t kValueBoxCharacters = 9;

// Highest and lowest value of working value `index`. The SPEED bar starts
// at 1; its box also takes 0.
int highest(int index) {
    return index == kEditSpeed ? kTopSpeed : kMostValue;
}
int lowest(int index) {
    return index == kEditSpeed ? 1 : 0;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Index of the working value that box or bar `id` belongs to, or -1.
int indexOf(int id, int first) {
    const int index = id - first;
    return index >= 0 && index < kEditValues ? index : -1;
}

// The quarter marks of a bar: 0, M/4, M/2, 3M/4, M (integer division).
int quarterMark(int k, int most) {
    return k * most / 4;
}

std::uint32_t fieldNumber(const DialogState& state, int id) {
    return readFieldNumber(state.fieldText(id));
}

}  // namespace

std::optional<int> parseValueBoxNumber(std::string_view text) {
    text = text.substr(0, kValueBoxCharacters);
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size() || text[i] < '0' || text[i] > '9') return std::nullopt;
    int value = 0;  // nine characters hold at most nine digits
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) value = value * 10 + (text[i] - '0');
    return negative ? -value : value;
}

SceneEditor::SceneEditor(ControllerImage& image) : image_(image) {}

void SceneEditor::open(UserInterface& ui) {
    programme_ = 1;
    scene_ = 1;
    state_.setFieldText(kEditProgramme, "1");
    state_.setFieldText(kEditScene, "1");
    for (int k = 0; k < kEditValues; ++k)
        state_.setRange(editBar(k), 0, k == kEditSpeed ? kTopSpeed - 1 : kMostValue);
    for (int n = 1; n <= kEditFixtures; ++n) state_.setChecked(editFixtureBox(n), n == 1);
    load(ui);
    state_.focusWholeText(kEditProgramme);
}

DialogReply SceneEditor::click(int id, UserInterface& ui) {
    switch (id) {
        case kEditProgrammeUp:
            programmeUp();
            break;
        case kEditProgrammeDown:
            programmeDown();
            break;
        case kEditSceneUp:
            sceneUp(ui);
            break;
        case kEditSceneDown:
            sceneDown();
            break;
        case kEditLoad:
            load(ui);
            break;
        case kEditAccept:
            accept(ui);
            break;
        case kEditFinish:
            // The dialog has no caption of its own: the question takes the
            // one of its warnings.
            if (!mayCloseWithoutAccepting(ui, hasUnacceptedChanges(), kWarningCaption)) break;
            return DialogReply::close(EditorResult::Finished);
        case kEditModeAuto:
        case kEditModeManual:
        case kEditModeMusic:
        case kEditModeMidi:
            selectMode(id);
            break;
        default:
            // "END" and the fixture boxes turn over when clicked.
            if (id == kEditEnd || (id >= editFixtureBox(1) && id <= editFixtureBox(kEditFixtures)))
                state_.setChecked(id, !state_.checked(id));
            break;
    }
    return DialogReply::stayOpen();
}

DialogReply SceneEditor::textChanged(int id, UserInterface&) {
    const int index = indexOf(id, kEditFirstValue);
    if (index < 0) return DialogReply::stayOpen();
    const std::optional<int> n = parseValueBoxNumber(state_.fieldText(id));
    if (!n) return DialogReply::stayOpen();
    // While typing the value is taken as it stands, cut to a byte; leaving
    // the box checks it.
    values_[static_cast<std::size_t>(index)] = static_cast<std::uint8_t>(static_cast<unsigned>(*n) & 0xFFu);
    setBarFor(index, *n);
    return DialogReply::stayOpen();
}

DialogReply SceneEditor::focusLeft(int id, UserInterface&) {
    const int index = indexOf(id, kEditFirstValue);
    if (index >= 0) checkValueBox(index);
    return DialogReply::stayOpen();
}

void SceneEditor::checkValueBox(int index) {
    const int id = editValueBox(index);
    const std::optional<int> n = parseValueBoxNumber(state_.fieldText(id));
    if (!n || *n < 0 || *n > highest(index)) {
        state_.setFieldText(id, kRefusedValue);
        return;
    }
    values_[static_cast<std::size_t>(index)] = static_cast<std::uint8_t>(*n);
}

DialogReply SceneEditor::scroll(int id, ScrollAction action, int position, UserInterface&) {
    // The bar ends where the editor puts it; a bar never refuses.
    const int index = indexOf(id, kEditFirstBar);
    if (index < 0) return DialogReply::stayOpen();
    const int most = highest(index);
    const int least = lowest(index);
    const int v = values_[static_cast<std::size_t>(index)];
    int next = v;
    switch (action) {
        case ScrollAction::LineUp:
            if (v < most) next = v + 1;
            break;
        case ScrollAction::LineDown:
            if (v > least) next = v - 1;
            break;
        case ScrollAction::PageUp:
            next = most;
            for (int k = 0; k <= 4; ++k) {
                if (quarterMark(k, most) > v) {
                    next = quarterMark(k, most);
                    break;
                }
            }
            break;
        case ScrollAction::PageDown:
            next = least;
            for (int k = 4; k >= 0; --k) {
                if (quarterMark(k, most) < v) {
                    next = std::max(quarterMark(k, most), least);
                    break;
                }
            }
            break;
        case ScrollAction::ThumbTrack:
        case ScrollAction::ThumbPosition: {
            const auto [top, bottom] = state_.range(id);
            next = most - std::clamp(position, top, bottom);
            break;
        }
        case ScrollAction::EndScroll:
        case ScrollAction::Other:
            return DialogReply::stayOpen();
    }
    values_[static_cast<std::size_t>(index)] = static_cast<std::uint8_t>(next);
    showValue(index);
    return DialogReply::stayOpen();
}

void SceneEditor::setBarFor(int index, int value) {
    // A bar shows value v at M - v, the highest value at the top; a value
    // beyond the bar's range shows at its end.
    const int id = editBar(index);
    const auto [top, bottom] = state_.range(id);
    const long position = static_cast<long>(highest(index)) - value;
    state_.setPosition(id, static_cast<int>(std::clamp<long>(position, top, bottom)));
}

void SceneEditor::showValue(int index) {
    const int value = values_[static_cast<std::size_t>(index)];
    state_.setFieldText(editValueBox(index), std::to_string(value));
    setBarFor(index, value);
}

void SceneEditor::selectMode(int id) {
    for (const int mode : {kEditModeAuto, kEditModeManual, kEditModeMusic, kEditModeMidi})
        state_.setChecked(mode, mode == id);
}

int SceneEditor::selectedMode() const {
    for (const int mode : {kEditModeAuto, kEditModeManual, kEditModeMusic, kEditModeMidi})
        if (state_.checked(mode)) return mode;
    return 0;
}

void SceneEditor::programmeUp() {
    const std::uint32_t p = fieldNumber(state_, kEditProgramme);
    if (p == kLastProgramme) return;
    state_.setFieldText(kEditProgramme, std::to_string(p > kLastProgramme ? kLastProgramme : p + 1));
}

void SceneEditor::programmeDown() {
    const std::uint32_t p = fieldNumber(state_, kEditProgramme);
    if (p == kFirstProgramme) return;
    state_.setFieldText(kEditProgramme, std::to_string(p < kFirstProgramme ? kFirstProgramme : p - 1));
}

void SceneEditor::sceneUp(UserInterface& ui) {
    const std::uint32_t p = fieldNumber(state_, kEditProgramme);
    if (!validProgramme(p)) {
        reportFieldError(ui, state_, kEditProgramme, kInvalidValue);
        return;
    }
    const std::uint32_t count = sceneCountOfProgramme(p);
    const std::uint32_t s = fieldNumber(state_, kEditScene);
    if (s == count) return;
    state_.setFieldText(kEditScene, std::to_string(s > count ? count : s + 1));
}

void SceneEditor::sceneDown() {
    const std::uint32_t s = fieldNumber(state_, kEditScene);
    if (s == 1) return;
    state_.setFieldText(kEditScene, std::to_string(s < 1 ? 1 : s - 1));
}

bool SceneEditor::takeProgrammeAndScene(UserInterface& ui) {
    const std::uint32_t p = fieldNumber(state_, kEditProgramme);
    const std::uint32_t s = fieldNumber(state_, kEditScene);
    const std::optional<int> absolute = checkedScene(ui, state_, kEditProgramme, p, kEditScene, s);
    if (!absolute) return false;
    programme_ = static_cast<int>(p);
    scene_ = static_cast<int>(s);
    absoluteScene_ = *absolute;
    return true;
}

void SceneEditor::load(UserInterface& ui) {
    if (!takeProgrammeAndScene(ui)) return;

    int checked = 0;
    int fixture = 0;
    for (int n = kEditFixtures; n >= 1; --n) {
        if (state_.checked(editFixtureBox(n))) {
            ++checked;
            fixture = n;
        }
    }
    if (fixture == 0) fixture = 1;
    if (checked != 1) {
        ui.messageBox("Multiple fixture choosen !\nSettings of " + std::to_string(fixture) +
                          "-th fixture will be loaded !",
                      kWarningCaption, Icon::Warning, Buttons::Ok);
    }

    const auto& scene = image_.scenes[static_cast<std::size_t>(absoluteScene_)];
    const std::size_t p = static_cast<std::size_t>(programme_ - 1);
    const auto channels = fixtureChannels(scene, fixture - 1);
    std::copy(channels.begin(), channels.end(), values_.begin());
    values_[kEditFade] = image_.fade[p];
    for (int k = 0; k <= kEditFade; ++k) showValue(k);

    const ProgrammeMode mode = programmeModeOf(image_.speedSync[p]);
    switch (mode.sync) {
        case SyncMode::Manual:
            selectMode(kEditModeManual);
            break;
        case SyncMode::Midi:
            selectMode(kEditModeMidi);
            break;
        case SyncMode::Music:
            selectMode(kEditModeMusic);
            break;
        case SyncMode::Auto:
            selectMode(kEditModeAuto);
            break;
    }
    values_[kEditSpeed] = mode.speed;
    showValue(kEditSpeed);

    endCopy_ = image_.endScene[p];
    state_.setChecked(kEditEnd, endCopy_ == scene_);
    settle();
}

void SceneEditor::settle() {
    settledControls_ = state_.controls();
    settledValues_ = values_;
}

bool SceneEditor::hasUnacceptedChanges() const {
    return state_.controls() != settledControls_ || values_ != settledValues_;
}

bool SceneEditor::accept(UserInterface& ui) {
    // A box still being typed in has not been checked yet: check them all
    // first, so that no value is written cut to a byte.
    for (int k = 0; k < kEditValues; ++k) checkValueBox(k);

    if (!takeProgrammeAndScene(ui)) return false;

    ProgrammeMode mode;
    switch (selectedMode()) {
        case kEditModeAuto:
            mode = {SyncMode::Auto, values_[kEditSpeed]};
            break;
        case kEditModeManual:
            mode = {SyncMode::Manual};
            break;
        case kEditModeMusic:
            mode = {SyncMode::Music};
            break;
        case kEditModeMidi:
            mode = {SyncMode::Midi};
            break;
        default:
            ui.messageBox(kNoSyncMode, kNoSyncModeCaption, Icon::Warning, Buttons::Ok);
            return false;
    }

    for (int k = 0; k < kEditValues; ++k) {
        const int id = editValueBox(k);
        if (state_.fieldText(id).find('?') != std::string::npos) {
            state_.focusText(id, 0, 3);
            return false;
        }
    }

    const std::size_t p = static_cast<std::size_t>(programme_ - 1);
    image_.speedSync[p] = modeByteOf(mode);
    image_.fade[p] = values_[kEditFade];
    if (state_.checked(kEditEnd))
        image_.endScene[p] = static_cast<std::uint8_t>(scene_);
    else if (image_.endScene[p] == scene_)
        image_.endScene[p] = 0;

    auto& scene = image_.scenes[static_cast<std::size_t>(absoluteScene_)];
    for (int f = 1; f <= kEditFixtures; ++f) {
        if (!state_.checked(editFixtureBox(f))) continue;
        const auto channels = fixtureChannels(scene, f - 1);
        std::copy_n(values_.begin(), kFixtureChannels, channels.begin());
    }
    settle();
    return true;
}

}  // namespace velora
