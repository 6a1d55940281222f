#include "editors/dialog_state.h"

namespace velora {

const DialogState::Control* DialogState::find(int id) const {
    const auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : &it->second;
}

std::string DialogState::fieldText(int id) const {
    const Control* c = find(id);
    return c ? c->text : std::string();
}

void DialogState::setFieldText(int id, const std::string& text) {
    controls_[id].text = text;
}

void DialogState::focusWholeText(int id) {
    focus_ = FocusRequest{id, 0, FocusRequest::kToTheEnd};
}

void DialogState::focusText(int id, std::size_t from, std::size_t length) {
    focus_ = FocusRequest{id, from, length};
}

std::optional<FocusRequest> DialogState::takeFocus() {
    return std::exchange(focus_, std::nullopt);
}

bool DialogState::checked(int id) const {
    const Control* c = find(id);
    return c && c->checked;
}

void DialogState::setChecked(int id, bool checked) {
    controls_[id].checked = checked;
}

bool DialogState::enabled(int id) const {
    const Control* c = find(id);
    return !c || c->enabled;
}

void DialogState::setEnabled(int id, bool enabled) {
    controls_[id].enabled = enabled;
}

int DialogState::position(int id) const {
    const Control* c = find(id);
    return c ? c->position : 0;
}

void DialogState::setPosition(int id, int position) {
    controls_[id].position = position;
}

std::pair<int, int> DialogState::range(int id) const {
    const Control* c = find(id);
    return c ? std::pair{c->minimum, c->maximum} : std::pair{0, 0};
}

void DialogState::setRange(int id, int minimum, int maximum) {
    Control& c = controls_[id];
    c.minimum = minimum;
    c.maximum = maximum;
}

}  // namespace velora
