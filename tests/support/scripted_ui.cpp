#include "tests/support/scripted_ui.h"

#include <gtest/gtest.h>

#include <utility>

namespace velora::testing {

std::string describe(Icon icon) {
    switch (icon) {
        case Icon::Information:
            return "information";
        case Icon::Warning:
            return "warning";
        case Icon::Error:
            return "error";
        case Icon::Question:
            return "question";
    }
    return "?";
}

std::string describe(Buttons buttons) {
    switch (buttons) {
        case Buttons::Ok:
            return "OK";
        case Buttons::YesNo:
            return "Yes/No";
        case Buttons::RetryCancel:
            return "Retry/Cancel";
        case Buttons::AbortRetryIgnore:
            return "Abort/Retry/Ignore";
    }
    return "?";
}

std::string describe(Answer answer) {
    return nameOf(answer);
}

namespace {
std::string describeMessage(const ShownMessage& m) {
    return "\"" + m.text + "\" caption \"" + m.caption + "\" icon " + velora::testing::describe(m.icon) +
           " buttons " + velora::testing::describe(m.buttons) +
           (m.defaultButton ? std::string(" default ") + nameOf(*m.defaultButton) : std::string());
}
const char* kindName(UiEvent::Kind k) {
    switch (k) {
        case UiEvent::Message:
            return "message box";
        case UiEvent::SceneRange:
            return "scene range dialog";
        case UiEvent::OpenFile:
            return "open dialog";
        case UiEvent::SaveFile:
            return "save dialog";
        default:
            return "event";
    }
}
}  // namespace

ScriptedUi::~ScriptedUi() {
    for (const Scripted& s : script_) {
        ADD_FAILURE() << "scripted " << kindName(s.kind) << " never shown"
                      << (s.kind == UiEvent::Message ? ": " + describeMessage(s.message) : std::string());
    }
}

ScriptedUi& ScriptedUi::expectMessage(std::string text, std::string caption, Icon icon, Buttons buttons,
                                      Answer answer, std::optional<Answer> defaultButton) {
    Scripted s{UiEvent::Message};
    s.message = {std::move(text), std::move(caption), icon, buttons, defaultButton};
    s.answer = answer;
    script_.push_back(std::move(s));
    return *this;
}

ScriptedUi& ScriptedUi::expectSceneRange(std::uint32_t first, std::uint32_t last) {
    Scripted s{UiEvent::SceneRange};
    s.accept = true;
    s.first = first;
    s.last = last;
    script_.push_back(s);
    return *this;
}

ScriptedUi& ScriptedUi::expectSceneRangeCancelled() {
    script_.push_back(Scripted{UiEvent::SceneRange});
    return *this;
}

ScriptedUi& ScriptedUi::expectOpenFile(std::optional<std::string> path) {
    Scripted s{UiEvent::OpenFile};
    s.accept = path.has_value();
    s.path = path.value_or("");
    script_.push_back(std::move(s));
    return *this;
}

ScriptedUi& ScriptedUi::expectSaveFile(std::optional<std::string> path) {
    Scripted s{UiEvent::SaveFile};
    s.accept = path.has_value();
    s.path = path.value_or("");
    script_.push_back(std::move(s));
    return *this;
}

bool ScriptedUi::scriptDone() const {
    return script_.empty();
}

std::optional<ScriptedUi::Scripted> ScriptedUi::next(UiEvent::Kind kind, const std::string& what) {
    if (script_.empty() || script_.front().kind != kind) {
        if (kind == UiEvent::Message && fallback_) return std::nullopt;
        ADD_FAILURE() << "unexpected " << kindName(kind) << ": " << what
                      << (script_.empty()
                              ? std::string(" (script is empty)")
                              : std::string(" (script expects a ") + kindName(script_.front().kind) +
                                    (script_.front().kind == UiEvent::Message
                                         ? ": " + describeMessage(script_.front().message)
                                         : std::string()) +
                                    ")");
        return std::nullopt;
    }
    Scripted s = std::move(script_.front());
    script_.pop_front();
    return s;
}

Answer ScriptedUi::messageBoxWithReason(const std::string& text, const std::string& caption, Icon icon,
                                        Buttons buttons, const std::string& reason,
                                        std::optional<Answer> defaultButton) {
    reason_ = reason;
    return messageBox(text, caption, icon, buttons, defaultButton);
}

Answer ScriptedUi::messageBoxWithDetails(const std::string& text, const std::string& caption, Icon icon,
                                         Buttons buttons, const std::string& informative,
                                         const std::string& detailed, std::optional<Answer> defaultButton) {
    detailed_ = detailed;
    return messageBoxWithReason(text, caption, icon, buttons, informative, defaultButton);
}

Answer ScriptedUi::messageBox(const std::string& text, const std::string& caption, Icon icon, Buttons buttons,
                              std::optional<Answer> defaultButton) {
    ShownMessage shown{text, caption, icon, buttons, defaultButton};
    if (onMessage_) onMessage_();
    UiEvent e{UiEvent::Message};
    e.message = shown;
    e.reason = std::exchange(reason_, std::string());
    e.detailed = std::exchange(detailed_, std::string());
    events_.push_back(e);
    if (!script_.empty() && script_.front().kind == UiEvent::Message && !(script_.front().message == shown)) {
        if (!fallback_) {
            ADD_FAILURE() << "message box " << describeMessage(shown) << "\n  but the script expects "
                          << describeMessage(script_.front().message);
            script_.pop_front();
            return buttons == Buttons::YesNo ? Answer::No : Answer::Cancel;
        }
        return *fallback_;
    }
    auto s = next(UiEvent::Message, describeMessage(shown));
    if (s) return s->answer;
    if (fallback_) return *fallback_;
    // Safest answer that ends whatever asked.
    switch (buttons) {
        case Buttons::Ok:
            return Answer::Ok;
        case Buttons::YesNo:
            return Answer::No;
        case Buttons::RetryCancel:
            return Answer::Cancel;
        case Buttons::AbortRetryIgnore:
            return Answer::Abort;
    }
    return Answer::Ok;
}

void ScriptedUi::setStatusText(int part, const std::string& text) {
    UiEvent e{UiEvent::Status};
    e.index = part;
    e.text = text;
    events_.push_back(e);
    status_[part] = text;
}

void ScriptedUi::setProgress(int position) {
    UiEvent e{UiEvent::Progress};
    e.index = position;
    events_.push_back(e);
    progress_ = position;
}

void ScriptedUi::enableActionEntry(int position, bool enabled) {
    UiEvent e{UiEvent::Entry};
    e.index = position;
    e.flag = enabled;
    events_.push_back(e);
    entries_[position] = enabled;
}

void ScriptedUi::checkPortEntry(int position, bool checked) {
    UiEvent e{UiEvent::PortCheck};
    e.index = position;
    e.flag = checked;
    events_.push_back(e);
    ports_[position] = checked;
}

void ScriptedUi::repaint() {
    events_.push_back(UiEvent{UiEvent::Repaint});
    ++repaints_;
}

bool ScriptedUi::sceneRangeDialog(std::uint32_t& firstScene, std::uint32_t& lastScene) {
    UiEvent e{UiEvent::SceneRange};
    e.index = static_cast<int>(firstScene);
    e.text = std::to_string(firstScene) + ".." + std::to_string(lastScene);
    events_.push_back(e);
    auto s = next(UiEvent::SceneRange, e.text);
    if (!s || !s->accept) return false;
    firstScene = s->first;
    lastScene = s->last;
    return true;
}

bool ScriptedUi::fileDialog(UiEvent::Kind kind, FileDialogRequest& request) {
    UiEvent e{kind};
    e.text = request.title;
    e.request = request;
    events_.push_back(e);
    auto s = next(kind, "\"" + request.title + "\" offering \"" + request.path + "\"");
    if (!s || !s->accept) return false;
    request.path = s->path;
    return true;
}

bool ScriptedUi::openFileDialog(FileDialogRequest& request) {
    return fileDialog(UiEvent::OpenFile, request);
}
bool ScriptedUi::saveFileDialog(FileDialogRequest& request) {
    return fileDialog(UiEvent::SaveFile, request);
}

std::vector<ShownMessage> ScriptedUi::messages() const {
    std::vector<ShownMessage> out;
    for (const UiEvent& e : events_)
        if (e.kind == UiEvent::Message) out.push_back(e.message);
    return out;
}

std::vector<std::string> ScriptedUi::reasons() const {
    std::vector<std::string> out;
    for (const UiEvent& e : events_)
        if (e.kind == UiEvent::Message && !e.reason.empty()) out.push_back(e.reason);
    return out;
}

std::string ScriptedUi::status(int part) const {
    auto it = status_.find(part);
    return it == status_.end() ? std::string() : it->second;
}

std::vector<int> ScriptedUi::progressHistory() const {
    std::vector<int> out;
    for (const UiEvent& e : events_)
        if (e.kind == UiEvent::Progress) out.push_back(e.index);
    return out;
}

std::optional<bool> ScriptedUi::entryEnabled(int position) const {
    auto it = entries_.find(position);
    return it == entries_.end() ? std::nullopt : std::optional<bool>(it->second);
}

std::optional<bool> ScriptedUi::portChecked(int position) const {
    auto it = ports_.find(position);
    return it == ports_.end() ? std::nullopt : std::optional<bool>(it->second);
}

}  // namespace velora::testing
