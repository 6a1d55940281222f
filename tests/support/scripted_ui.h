#pragma once
// A user interface for tests: records every call in order and answers from
// a script. A message box or dialog that the script did not expect fails
// the running test, and so does a scripted one that never came.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui.h"

namespace velora::testing {

struct ShownMessage {
    std::string text;
    std::string caption;
    Icon icon;
    Buttons buttons;
    std::optional<Answer> defaultButton{};  // none: the first button
    bool operator==(const ShownMessage&) const = default;
};

struct UiEvent {
    enum Kind { Message, Status, Progress, Entry, PortCheck, Repaint, SceneRange, OpenFile, SaveFile };
    explicit UiEvent(Kind k) : kind(k) {}
    Kind kind;
    ShownMessage message{};       // Message
    std::string reason;           // Message: the informative text under it
    std::string detailed;         // Message: the detailed text below it
    int index = 0;                // status part, entry or port position, progress value
    std::string text;             // status text, or the dialog's title
    bool flag = false;            // enabled / checked
    FileDialogRequest request{};  // file dialogs, as they were asked
};

class ScriptedUi : public UserInterface {
  public:
    ScriptedUi() = default;
    ~ScriptedUi() override;
    ScriptedUi(const ScriptedUi&) = delete;
    ScriptedUi& operator=(const ScriptedUi&) = delete;

    // --- the script -------------------------------------------------------
    // The next message box must show exactly this; it is answered `answer`.
    // `defaultButton` is the button the box must offer as its default (none:
    // the first).
    ScriptedUi& expectMessage(std::string text, std::string caption, Icon icon, Buttons buttons,
                              Answer answer = Answer::Ok, std::optional<Answer> defaultButton = std::nullopt);
    // Answer every message box that is not scripted with `answer` instead of
    // failing (for long runs where only the sequence afterwards matters).
    void answerUnscriptedWith(std::optional<Answer> answer) { fallback_ = answer; }
    // The next "Zakres" dialog: OK with this range, or cancelled.
    ScriptedUi& expectSceneRange(std::uint32_t first, std::uint32_t last);
    ScriptedUi& expectSceneRangeCancelled();
    // The next open or save dialog: chooses `path`, or is cancelled (nullopt).
    ScriptedUi& expectOpenFile(std::optional<std::string> path);
    ScriptedUi& expectSaveFile(std::optional<std::string> path);
    // Called whenever a message box opens, before it is answered (a test can
    // let time pass as a person would).
    void onMessage(std::function<void()> hook) { onMessage_ = std::move(hook); }
    // True when every scripted item has been used.
    bool scriptDone() const;

    // --- what was seen ----------------------------------------------------
    const std::vector<UiEvent>& events() const { return events_; }
    std::vector<ShownMessage> messages() const;
    // The reasons shown under the boxes' texts, in order (boxes without one left out).
    std::vector<std::string> reasons() const;
    std::string status(int part) const;
    int progress() const { return progress_; }
    std::vector<int> progressHistory() const;
    // Menu entry states: absent means never changed.
    std::optional<bool> entryEnabled(int position) const;
    std::optional<bool> portChecked(int position) const;
    int repaints() const { return repaints_; }
    void clearEvents() { events_.clear(); }

    // --- UserInterface ----------------------------------------------------
    Answer messageBox(const std::string& text, const std::string& caption, Icon icon, Buttons buttons,
                      std::optional<Answer> defaultButton = std::nullopt) override;
    Answer messageBoxWithReason(const std::string& text, const std::string& caption, Icon icon,
                                Buttons buttons, const std::string& reason,
                                std::optional<Answer> defaultButton = std::nullopt) override;
    Answer messageBoxWithDetails(const std::string& text, const std::string& caption, Icon icon,
                                 Buttons buttons, const std::string& informative, const std::string& detailed,
                                 std::optional<Answer> defaultButton = std::nullopt) override;
    void setStatusText(int part, const std::string& text) override;
    void setProgress(int position) override;
    void enableActionEntry(int position, bool enabled) override;
    void checkPortEntry(int position, bool checked) override;
    void repaint() override;
    bool sceneRangeDialog(std::uint32_t& firstScene, std::uint32_t& lastScene) override;
    bool openFileDialog(FileDialogRequest& request) override;
    bool saveFileDialog(FileDialogRequest& request) override;

  private:
    struct Scripted {
        explicit Scripted(UiEvent::Kind k) : kind(k) {}
        UiEvent::Kind kind;
        ShownMessage message{};
        Answer answer = Answer::Ok;
        bool accept = false;
        std::uint32_t first = 0, last = 0;
        std::string path;
    };
    std::optional<Scripted> next(UiEvent::Kind kind, const std::string& what);
    bool fileDialog(UiEvent::Kind kind, FileDialogRequest& request);

    std::deque<Scripted> script_;
    std::optional<Answer> fallback_;
    std::function<void()> onMessage_;
    std::string reason_;    // of the box being shown
    std::string detailed_;  // of the box being shown
    std::vector<UiEvent> events_;
    std::map<int, std::string> status_;
    std::map<int, bool> entries_, ports_;
    int progress_ = 0;
    int repaints_ = 0;
};

std::string describe(Icon icon);
std::string describe(Buttons buttons);
std::string describe(Answer answer);

}  // namespace velora::testing
