#include "editors/midi_editor.h"

#include "editors/field_checks.h"

namespace velora {

namespace {

// One of the six check boxes of a row.
bool isRowBox(int id) {
    for (int row = 0; row < kMidiRows; ++row)
        if (id >= midiTriggerBox(row, 0) && id <= midiAssignBox(row, 2)) return true;
    return false;
}

}  // namespace

std::string midiNoteText(int key) {
    return std::string(midiNoteName(key)) + " / " + std::to_string(midiOctaveOf(key));
}

MidiEditor::MidiEditor(ControllerImage& image) : image_(image), working_(image.midi) {
    rows_.showBar(state_);
    for (int row = 0; row < kMidiRows; ++row) {
        // Display only: the key and its note.
        state_.setEnabled(midiKeyField(row), false);
        state_.setEnabled(midiNoteField(row), false);
    }
    showRows();
}

void MidiEditor::showRows() {
    for (int row = 0; row < kMidiRows; ++row) {
        const int key = rows_.first() + row;
        const std::uint16_t entry = working_[static_cast<std::size_t>(key)];
        state_.setFieldText(midiKeyField(row), std::to_string(key));
        state_.setFieldText(midiNoteField(row), midiNoteText(key));
        for (int field = 0; field < 3; ++field) {
            state_.setChecked(midiTriggerBox(row, field), (entry & midiTriggerBit(field)) != 0);
            state_.setChecked(midiAssignBox(row, field), (entry & midiAssignBit(field)) != 0);
        }
        // Scene bits 1022 and 1023 name no scene: both fields show 65536,
        // which the user has to correct before the rows can be stored.
        const ProgrammeScene shown = programmeSceneNumbers(entry & kMidiSceneBits);
        state_.setFieldText(midiProgrammeField(row), std::to_string(shown.programme));
        state_.setFieldText(midiSceneField(row), std::to_string(shown.scene));
    }
}

std::optional<int> MidiEditor::readRow(int row, std::array<std::uint16_t, kMidiKeys>& table) const {
    const int programmeField = midiProgrammeField(row);
    const int sceneField = midiSceneField(row);
    const std::uint32_t programme = readFieldNumber(state_.fieldText(programmeField));
    const std::optional<std::uint32_t> sceneNumber = parseFieldNumber(state_.fieldText(sceneField));
    const std::uint32_t scene = sceneNumber.value_or(0);

    std::uint16_t sceneBits = 0;
    if (programme != 0 || scene != 0) {
        if (const auto refused = refusedSceneField(programmeField, programme, sceneField, scene))
            return refused;
        sceneBits = static_cast<std::uint16_t>(sceneIndexOf(programme - 1, scene - 1));
    }

    std::uint16_t flags = 0;
    for (int field = 0; field < 3; ++field) {
        if (state_.checked(midiTriggerBox(row, field))) flags |= midiTriggerBit(field);
        // An emptied scene field takes the row's assignments away.
        if (sceneNumber && state_.checked(midiAssignBox(row, field))) flags |= midiAssignBit(field);
    }
    // The scene and the six flags are the whole entry.
    table[static_cast<std::size_t>(rows_.first() + row)] = static_cast<std::uint16_t>(sceneBits | flags);
    return std::nullopt;
}

bool MidiEditor::storeRow(int row, UserInterface& ui) {
    const std::optional<int> refused = readRow(row, working_);
    if (refused) reportFieldError(ui, state_, *refused, kInvalidValue);
    return !refused;
}

bool MidiEditor::storeRows(UserInterface& ui) {
    rowsValid_ = true;
    for (int row = 0; row < kMidiRows; ++row) {
        if (!storeRow(row, ui)) {
            rowsValid_ = false;
            return false;
        }
    }
    return true;
}

DialogReply MidiEditor::click(int id, UserInterface& ui) {
    switch (id) {
        case kMidiAccept:
            // A refused field gets the focus, its text selected.
            return accept(ui) ? DialogReply::close(EditorResult::Accepted) : DialogReply::refused();
        case kMidiCancel:
            cancel();
            break;
        case kMidiFinish:
            if (!mayCloseWithoutAccepting(ui, hasUnacceptedChanges(), kMidiEditorLayout.caption)) break;
            return DialogReply::close(EditorResult::Finished);
        default:
            if (isRowBox(id)) state_.setChecked(id, !state_.checked(id));
            break;
    }
    return DialogReply::stayOpen();
}

DialogReply MidiEditor::scroll(int id, ScrollAction action, int position, UserInterface& ui) {
    if (id != rows_.bar()) return DialogReply::stayOpen();
    return rows_.scroll(
        action, position, state_, [&] { return storeRows(ui); }, [this] { showRows(); });
}

bool MidiEditor::accept(UserInterface& ui) {
    if (!storeRows(ui)) return false;
    image_.midi = working_;
    return true;
}

bool MidiEditor::hasUnacceptedChanges() const {
    std::array<std::uint16_t, kMidiKeys> table = working_;
    for (int row = 0; row < kMidiRows; ++row)
        if (readRow(row, table)) return true;
    return table != image_.midi;
}

void MidiEditor::cancel() {
    working_ = image_.midi;
    showRows();
}

}  // namespace velora
