#pragma once
// The "Zakres" dialog: the range of scenes a scene transfer covers, chosen
// as programme / scene pairs. The model reads and checks the four fields;
// the toolkit only shows the controls of its layout.

#include <cstdint>
#include <optional>

#include "editors/dialog_model.h"
#include "editors/field_checks.h"
#include "editors/scene_range_layout.h"
#include "platform/ui.h"

namespace velora {

// What the dialog ends with.
enum class RangeResult { Chosen = 1, Cancelled = 2 };

// The range being chosen. Starts from the engine's first and last scene and
// leaves them unchanged unless the user ends with "OK" (checks passed) or
// "All".
class SceneRange {
  public:
    // A first scene above 1021 opens as 0; a last scene below the first or
    // above 1021 opens as 1021.
    SceneRange(std::uint32_t firstScene, std::uint32_t lastScene);

    // Writes the range into the four fields as programme / scene pairs.
    void show(DialogFields& dialog) const;
    // "OK": reads and checks the fields. A refused field is reported with
    // reportFieldError and gives nullopt (the dialog stays open); otherwise
    // the range is taken and the result is Chosen.
    std::optional<RangeResult> pressOk(DialogFields& dialog, UserInterface& ui);
    // "All": the whole scene table.
    RangeResult pressAll();
    // "Cancel" and the close box.
    RangeResult pressCancel() const { return RangeResult::Cancelled; }

    std::uint32_t firstScene() const { return first_; }
    std::uint32_t lastScene() const { return last_; }

  private:
    std::uint32_t first_;
    std::uint32_t last_;
};

// The dialog's model over the range being chosen: the four fields show it,
// the focus on the first; "OK", "All" and "Cancel" (also Escape and the
// close box) end the dialog with a RangeResult as SceneRange gives it.
class SceneRangeModel : public DialogModel {
  public:
    explicit SceneRangeModel(SceneRange& range);

    DialogState& state() override { return state_; }
    DialogReply click(int id, UserInterface& ui) override;

  private:
    SceneRange& range_;
    DialogState state_;
};

}  // namespace velora
