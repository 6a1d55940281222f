#pragma once
// What the editor dialogs share: reading a number from a field, the
// programme and scene checks, and the report that puts the user back into a
// refused field.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ui.h"

namespace velora {

// A field's text as an unsigned decimal number: leading blanks are skipped,
// and anything after the digits, a blank included, makes the text no
// number. No number (empty text, a sign, letters, a value beyond 32 bits)
// gives nullopt.
std::optional<std::uint32_t> parseFieldNumber(std::string_view text);
// The same, with "no number" read as 0.
std::uint32_t readFieldNumber(std::string_view text);

inline constexpr std::uint32_t kFirstProgramme = 1;
inline constexpr std::uint32_t kLastProgramme = 48;

// Scenes of programme `programme` (1-based): 32, 16 or 14; 0 outside 1..48.
std::uint32_t sceneCountOfProgramme(std::uint32_t programme);
bool validProgramme(std::uint32_t programme);
// Scene 1..scene count of the programme.
bool validScene(std::uint32_t programme, std::uint32_t scene);

// Programme and scene (1-based) of absolute scene `absolute`, as the fields
// show them; a number above 1021 names no scene and shows as 65536 / 65536.
struct ProgrammeScene {
    std::uint32_t programme;
    std::uint32_t scene;
};
ProgrammeScene programmeSceneNumbers(std::uint32_t absolute);

// The fields of an open dialog as the checks see them, by control id.
class DialogFields {
  public:
    virtual ~DialogFields() = default;
    virtual std::string fieldText(int id) const = 0;
    virtual void setFieldText(int id, const std::string& text) = 0;
    // Keyboard focus on the field, its whole text selected.
    virtual void focusWholeText(int id) = 0;
};

inline constexpr const char* kFieldErrorCaption = "Warning :";
// The message of a refused field in the editors (also the caption of the
// invalid-cue question).
inline constexpr const char* kInvalidValue = "Invalid value !";

// Shows `message` (caption "Warning :", error icon); once it is closed the
// focus goes back to the field with its whole text selected. Returns true:
// the event is handled.
bool reportFieldError(UserInterface& ui, DialogFields& dialog, int field, const std::string& message);

// The absolute scene of `programme` / `scene` (1-based, each read from its
// field, 0 for no number). A refused one is reported on its field with
// "Invalid value !", the programme first, and gives nothing.
std::optional<int> checkedScene(UserInterface& ui, DialogFields& dialog, int programmeField,
                                std::uint32_t programme, int sceneField, std::uint32_t scene);
// The field that checkedScene would refuse for these numbers, without a
// word; nullopt when both are taken.
std::optional<int> refusedSceneField(int programmeField, std::uint32_t programme, int sceneField,
                                     std::uint32_t scene);

// "Finish", Escape and the close box of an editor whose Accept would now
// change the image or refuse a field ask first, No the default; No keeps
// the dialog open with its fields as they are.
inline constexpr const char* kCloseWithoutAccepting = "Close without accepting the changes ?";
// True when the dialog may close: nothing unaccepted, or the user said Yes.
bool mayCloseWithoutAccepting(UserInterface& ui, bool unaccepted, const std::string& caption);

}  // namespace velora
