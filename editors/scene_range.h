#pragma once
// The "Zakres" dialog: the range of scenes a scene transfer covers, chosen
// as programme / scene pairs. The model reads and checks the four fields;
// the toolkit only shows the controls laid out below.

#include <array>
#include <cstdint>
#include <optional>

#include "editors/dialog_layout.h"
#include "editors/field_checks.h"
#include "platform/ui.h"

namespace velora {

// Control ids.
inline constexpr int kRangeFromProgramme = 101;
inline constexpr int kRangeFromScene = 102;
inline constexpr int kRangeToProgramme = 104;
inline constexpr int kRangeToScene = 105;
inline constexpr int kRangeAll = 107;

// What the dialog ends with.
enum class RangeResult { Chosen = 1, Cancelled = 2 };

inline constexpr std::array<DialogControl, 13> kSceneRangeControls{{
    {-1, DialogControl::CentredLabel, "Programm", 53, 15, 30, 8},
    {-1, DialogControl::CentredLabel, "Scene ", 90, 15, 30, 8},
    {-1, DialogControl::Label, "Scenes from :", 15, 31, 40, 8},
    {kRangeFromProgramme, DialogControl::Edit, "", 60, 30, 15, 10},
    {kRangeFromScene, DialogControl::Edit, "", 95, 30, 15, 10},
    {-1, DialogControl::CentredLabel, "Programm", 53, 50, 30, 8},
    {-1, DialogControl::CentredLabel, "Scene ", 90, 50, 30, 8},
    {-1, DialogControl::Label, "Scenes to :", 15, 66, 40, 8},
    {kRangeToProgramme, DialogControl::Edit, "", 60, 65, 15, 10},
    {kRangeToScene, DialogControl::Edit, "", 95, 65, 15, 10},
    {kRangeAll, DialogControl::Button, "All", 47, 83, 51, 14},
    {kDialogOk, DialogControl::DefaultButton, "OK", 15, 110, 50, 14},
    {kDialogCancel, DialogControl::Button, "Cancel", 80, 110, 50, 14},
}};

inline constexpr DialogLayout kSceneRangeLayout{"Zakres", "Scene range", 145, 140, kSceneRangeControls};

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

}  // namespace velora
