#include "editors/scrolled_rows.h"

#include <algorithm>

namespace velora {

ScrolledRows::ScrolledRows(int bar, int lastFirst, int page, int first)
    : bar_(bar), lastFirst_(lastFirst), page_(page), first_(first) {}

void ScrolledRows::showBar(DialogState& state) const {
    state.setRange(bar_, 0, lastFirst_);
    state.setPosition(bar_, first_);
}

DialogReply ScrolledRows::scroll(ScrollAction action, int position, DialogState& state,
                                 const std::function<bool()>& storeRows,
                                 const std::function<void()>& showRows) {
    if (action == ScrollAction::EndScroll) return DialogReply::stayOpen();
    if (!storeRows()) return DialogReply::refused();

    int first = first_;
    switch (action) {
        case ScrollAction::LineUp:
            first -= 1;
            break;
        case ScrollAction::LineDown:
            first += 1;
            break;
        case ScrollAction::PageUp:
            first -= page_;
            break;
        case ScrollAction::PageDown:
            first += page_;
            break;
        case ScrollAction::ThumbTrack:
        case ScrollAction::ThumbPosition:
            first = position;
            break;
        case ScrollAction::EndScroll:
        case ScrollAction::Other:
            return DialogReply::stayOpen();  // nothing moves, nothing is redrawn
    }
    first_ = std::clamp(first, 0, lastFirst_);
    state.setPosition(bar_, first_);
    showRows();
    return DialogReply::stayOpen();
}

}  // namespace velora
