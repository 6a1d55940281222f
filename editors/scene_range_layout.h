#pragma once
// How the "Zakres" dialog ("Scene range") is laid out: its control ids and
// its controls in Tab order.

#include <array>

#include "editors/dialog_layout.h"

namespace velora {

// Control ids.
inline constexpr int kRangeFromProgramme = 101;
inline constexpr int kRangeFromScene = 102;
inline constexpr int kRangeToProgramme = 104;
inline constexpr int kRangeToScene = 105;
inline constexpr int kRangeAll = 107;

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

}  // namespace velora
