#pragma once
// What an open dialog shows, control by control: the texts of its fields,
// the states of its check boxes and radio buttons, which controls take
// input, the positions and ranges of its scroll bars, and where the
// keyboard focus is to go next. An editing model keeps this and changes it
// in answer to the user; the toolkit shows it after every change.

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <utility>

#include "editors/field_checks.h"

namespace velora {

// What the user did to a scroll bar.
enum class ScrollAction { LineUp, LineDown, PageUp, PageDown, ThumbTrack, ThumbPosition, EndScroll, Other };

// The keyboard focus on a control, with part of its text selected.
struct FocusRequest {
    static constexpr std::size_t kToTheEnd = static_cast<std::size_t>(-1);
    int id = 0;
    std::size_t selectFrom = 0;
    std::size_t selectLength = kToTheEnd;
    bool operator==(const FocusRequest&) const = default;
};

class DialogState : public DialogFields {
  public:
    struct Control {
        std::string text;
        bool checked = false;
        bool enabled = true;
        int position = 0;
        int minimum = 0;
        int maximum = 0;
        bool operator==(const Control&) const = default;
    };

    // DialogFields
    std::string fieldText(int id) const override;
    void setFieldText(int id, const std::string& text) override;
    void focusWholeText(int id) override;

    // Focus on `id` with `length` characters from `from` selected.
    void focusText(int id, std::size_t from, std::size_t length);
    // The focus asked for since the last call, once.
    std::optional<FocusRequest> takeFocus();

    bool checked(int id) const;
    void setChecked(int id, bool checked);
    bool enabled(int id) const;
    void setEnabled(int id, bool enabled);
    int position(int id) const;
    void setPosition(int id, int position);
    std::pair<int, int> range(int id) const;
    void setRange(int id, int minimum, int maximum);

    // Every control that was given a state, by id.
    const std::map<int, Control>& controls() const { return controls_; }

  private:
    const Control* find(int id) const;

    std::map<int, Control> controls_;
    std::optional<FocusRequest> focus_;
};

}  // namespace velora
