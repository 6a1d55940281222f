#pragma once
// A modal dialog built from its layout: every control at its place in
// dialog units of the dialog's font, under its control id as object name
// ("control<id>"), in the layout's Tab order. What the user does is passed on
// as calls that the dialog of each editor answers: before each, the fields'
// texts are taken into the editing model's DialogState; after it, that
// state is shown.

#include <QDialog>
#include <map>
#include <set>

#include "editors/dialog_layout.h"
#include "editors/dialog_state.h"

class QAbstractButton;
class QLineEdit;
class QPushButton;
class QScrollBar;

namespace velora {

// Pixels per dialog unit for `font`: a quarter of its average character
// width across, an eighth of its height down.
struct DialogUnits {
    double x = 0, y = 0;
};
DialogUnits dialogUnitsOf(const QFont& font);

class LaidOutDialog : public QDialog {
    Q_OBJECT
  public:
    LaidOutDialog(QWidget* parent, const DialogLayout& layout);

    // The control of `id`, or null (also of the wrong kind).
    QWidget* control(int id) const;
    QLineEdit* field(int id) const;
    QPushButton* button(int id) const;
    QAbstractButton* checkBox(int id) const;  // check boxes and radio buttons
    QScrollBar* scrollBar(int id) const;

  public slots:
    // Escape and the close box: a click on control 2 ("Finish" or
    // "Cancel"), so that the model decides, with the texts as typed, whether
    // the dialog closes; one it keeps open stays as it is.
    void reject() override;

  protected:
    // Shows `state`: texts, check marks, which controls take input, the
    // scroll bars, and the focus it asks for.
    void showState(DialogState& state);
    // Takes the texts of the fields, as typed, into `state`.
    void takeTexts(DialogState& state) const;
    // The state of the editing model the dialog shows.
    virtual DialogState& dialogState() = 0;

    // What the user did.
    virtual void textEdited(int /*id*/) {}
    virtual void focusLeft(int /*id*/) {}
    virtual void clicked(int /*id*/) {}  // push buttons, check boxes, radio buttons
    // False when the model refused a field: the bar is stopped, so that a
    // held arrow or a dragged thumb does not go on asking once the message
    // box has been closed.
    virtual bool scrolled(int /*id*/, ScrollAction /*action*/, int /*position*/) { return true; }

    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Runs `call` between taking the texts and showing the state.
    template <class Call>
    void pass(Call&& call);
    void passClick(int id);
    void passScroll(QScrollBar* bar, int id, ScrollAction action);

    std::map<int, QWidget*> controls_;
    std::map<QObject*, int> ids_;
    std::set<int> displayOnly_;  // shown but never for input, whatever the state says
    bool showing_ = false;       // while the state is being shown, nothing is passed on
    // A click or bar action is under way (and perhaps its message box):
    // the bar's repeat or a second click must not start another inside it.
    bool busy_ = false;
};

}  // namespace velora
