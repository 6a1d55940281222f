#pragma once
// The "Edycja" dialog: the channel values of one scene, fixture by fixture,
// and three settings of its programme (mode and SPEED, FADE shown as "XF",
// end scene). A working row of 18 values is loaded from one fixture of the
// scene and the programme ("Load"), changed with bars and value boxes, and
// written into every checked fixture of the scene and into the programme
// ("Accept"). Nothing reaches the image any other way.

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string_view>

#include "editors/dialog_model.h"
#include "editors/scene_editor_layout.h"

namespace velora {

struct ControllerImage;

// A value box's text as a number: at most the first 9 characters, leading
// blanks skipped, an optional sign, then the digits up to the first
// non-digit. Text without digits there is no number (nullopt).
std::optional<int> parseValueBoxNumber(std::string_view text);

// The editing model of "Edycja". It holds what the dialog shows in its
// DialogState; the toolkit takes the typed texts into that state before
// passing on what the user did, and shows the state afterwards.
class SceneEditor : public DialogModel {
  public:
    explicit SceneEditor(ControllerImage& image);

    // Opening: programme 1, scene 1, fixture 1 checked, the bars' ranges,
    // then Load; the focus goes to the programme field.
    void open(UserInterface& ui) override;

    DialogState& state() override { return state_; }
    const DialogState& state() const { return state_; }

    // --- what the user did ------------------------------------------------
    // A push button, check box or radio button. "Finish" (also Escape)
    // closes with EditorResult::Finished; "Accept" writes and stays open.
    DialogReply click(int id, UserInterface& ui) override;
    // The text of a field changed (value boxes act on it at once).
    DialogReply textChanged(int id, UserInterface& ui) override;
    // A field lost the keyboard focus (value boxes check their text).
    DialogReply focusLeft(int id, UserInterface& ui) override;
    // A bar was moved; `position` is where its thumb is, for the thumb actions.
    DialogReply scroll(int id, ScrollAction action, int position, UserInterface& ui) override;

    // --- the operations ---------------------------------------------------
    void load(UserInterface& ui);
    // Writes the working row into the checked fixtures of the scene shown
    // and the programme's settings. Every value box is checked first as if
    // it had been left, so a value still being typed is never written cut to
    // a byte. False when a check refused it; then nothing was written.
    bool accept(UserInterface& ui);
    // Whether anything shown differs from what the last Load or Accept
    // left: an Accept now would write it, or refuse it. "Finish" then asks
    // before closing; No keeps the dialog open.
    bool hasUnacceptedChanges() const;
    void programmeUp();
    void programmeDown();
    void sceneUp(UserInterface& ui);
    void sceneDown();

    // --- what the editor holds --------------------------------------------
    int currentProgramme() const { return programme_; }
    int currentScene() const { return scene_; }
    int currentAbsoluteScene() const { return absoluteScene_; }
    std::uint8_t value(int index) const { return values_[static_cast<std::size_t>(index)]; }
    std::uint8_t endCopy() const { return endCopy_; }

  private:
    // Reads and checks the programme and scene fields; a refused one is
    // reported. On success they become the current programme and scene.
    bool takeProgrammeAndScene(UserInterface& ui);
    // Shows working value `index` in its box and puts its bar there.
    void showValue(int index);
    // The leaving-the-box check of value box `index`.
    void checkValueBox(int index);
    void setBarFor(int index, int value);
    void selectMode(int id);
    int selectedMode() const;
    // Keeps what the dialog shows now as what a Load or Accept left.
    void settle();

    ControllerImage& image_;
    DialogState state_;
    int programme_ = 1;
    int scene_ = 1;
    int absoluteScene_ = 0;
    std::array<std::uint8_t, kEditValues> values_{};
    std::uint8_t endCopy_ = 0;
    std::map<int, DialogState::Control> settledControls_;
    std::array<std::uint8_t, kEditValues> settledValues_{};
};

}  // namespace velora
