#pragma once
// How a dialog of the program is laid out: its controls with their ids,
// kinds, captions and places in dialog units (a quarter of the average
// character width across, an eighth of the character height down), in the
// order the keyboard's Tab goes through them. The toolkit builds the widgets
// from it.

#include <span>

namespace velora {

struct DialogControl {
    enum Kind {
        Label,          // static text, left-aligned
        CentredLabel,   // static text, centred (wraps when it does not fit)
        GroupBox,       // a frame with a caption
        Edit,           // left-aligned edit field
        RightEdit,      // right-aligned edit field
        CentredEdit,    // centred edit field
        Button,         // push button
        DefaultButton,  // the push button that Enter presses
        CheckBox,       // check box whose state the model sets itself
        AutoCheckBox,   // check box that turns over when clicked
        RadioButton,    // auto radio button of the group opened by the last GroupStart
        VScrollBar,     // vertical scroll bar
    };
    // Flags.
    static constexpr unsigned Disabled = 1u << 0;    // shown but not for input (display fields)
    static constexpr unsigned GroupStart = 1u << 1;  // a radio button that opens a new group

    int id;  // -1 for a static text or frame
    Kind kind;
    const char* caption;  // UTF-8
    int x, y, width, height;
    unsigned flags = 0;
};

struct DialogLayout {
    const char* resource;  // the dialog's name, as an object name
    const char* caption;   // window title; empty for none
    int width, height;     // dialog units
    std::span<const DialogControl> controls;
};

// Control ids every dialog shares.
inline constexpr int kDialogOk = 1;
inline constexpr int kDialogCancel = 2;

}  // namespace velora
