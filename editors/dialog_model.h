#pragma once
// The editing model behind a laid-out dialog. The toolkit passes on what the
// user did (a click, a changed text, a field left, a scroll bar action) after
// taking the typed texts into the model's DialogState, shows that state
// afterwards, and closes the dialog when the model's reply says so. Every
// dialog of the program ends this one way.

#include <optional>

#include "editors/dialog_state.h"
#include "platform/ui.h"

namespace velora {

// How an editor dialog ends: "Finish" (also Escape and the close box), the
// image left as the last Accept wrote it, or an Accept that closes.
enum class EditorResult { Finished = 0, Accepted = 1 };

// The model's answer to what the user did.
class DialogReply {
  public:
    // The dialog stays open.
    static constexpr DialogReply stayOpen() { return DialogReply(false, std::nullopt); }
    // The dialog stays open: a field was refused and reported, so whatever
    // would repeat the action (a held bar arrow, a dragged thumb) stops.
    static constexpr DialogReply refused() { return DialogReply(true, std::nullopt); }
    // The dialog closes with `result` (an enumerator of the dialog's results).
    template <class Result>
    static constexpr DialogReply close(Result result) {
        return DialogReply(false, static_cast<int>(result));
    }

    bool closes() const { return result_.has_value(); }
    bool refusedField() const { return refused_; }
    // The result the dialog closes with; only when it closes.
    int result() const { return result_.value_or(-1); }

    bool operator==(const DialogReply&) const = default;

  private:
    constexpr DialogReply(bool refused, std::optional<int> result) : refused_(refused), result_(result) {}

    bool refused_;
    std::optional<int> result_;
};

class DialogModel {
  public:
    virtual ~DialogModel() = default;

    // What the dialog shows.
    virtual DialogState& state() = 0;

    // Once, before the dialog is first shown.
    virtual void open(UserInterface& /*ui*/) {}
    // A push button, check box or radio button; "Finish" or "Cancel" also
    // for Escape and the close box (control kDialogCancel).
    virtual DialogReply click(int id, UserInterface& ui) = 0;
    // The text of a field changed as the user typed.
    virtual DialogReply textChanged(int /*id*/, UserInterface& /*ui*/) { return DialogReply::stayOpen(); }
    // A field lost the keyboard focus.
    virtual DialogReply focusLeft(int /*id*/, UserInterface& /*ui*/) { return DialogReply::stayOpen(); }
    // Scroll bar `id` was acted on; `position` is where its thumb is, for
    // the thumb actions.
    virtual DialogReply scroll(int /*id*/, ScrollAction /*action*/, int /*position*/, UserInterface& /*ui*/) {
        return DialogReply::stayOpen();
    }
};

}  // namespace velora
