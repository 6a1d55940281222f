#pragma once
// A list of rows under one vertical scroll bar, as the settings and MIDI
// editors show their tables: a few rows at a time, the bar's position the
// number of the first row shown.

#include <functional>

#include "editors/dialog_model.h"
#include "editors/dialog_state.h"

namespace velora {

class ScrolledRows {
  public:
    // Bar `bar` over rows 0..lastFirst + the rows shown, `first` shown
    // first; a page action moves `page` rows.
    ScrolledRows(int bar, int lastFirst, int page, int first);

    int bar() const { return bar_; }
    int first() const { return first_; }

    // Puts the bar's range and position into `state`.
    void showBar(DialogState& state) const;

    // A bar action. The rows shown are stored first (`storeRows`; false
    // when it refused a field, which keeps the rows where they are). Then
    // the first row moves a line, a page, or to the thumb's `position`,
    // within 0..lastFirst, and the rows there are shown (`showRows`) under
    // the bar. The end of a scroll stores nothing; an action that moves
    // nothing (Other) redraws nothing.
    DialogReply scroll(ScrollAction action, int position, DialogState& state,
                       const std::function<bool()>& storeRows, const std::function<void()>& showRows);

  private:
    int bar_;
    int lastFirst_;
    int page_;
    int first_;
};

}  // namespace velora
