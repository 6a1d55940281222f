#pragma once
// A modal dialog built from its layout over its editing model: every
// control at its place in dialog units of the dialog's font, under its
// control id as object name ("control<id>"), in the layout's Tab order. What
// the user does is passed on to the model: before each call the fields'
// texts are taken into the model's DialogState, after it that state is
// shown, and the dialog closes when the model's reply says so. Every dialog
// of the program runs this one way.

#include <QDialog>
#include <functional>
#include <map>
#include <memory>
#include <set>

#include "editors/dialog_layout.h"
#include "editors/dialog_model.h"
#include "editors/dialog_state.h"
#include "platform/ui.h"

class QAbstractButton;
class QLineEdit;
class QPushButton;
class QScrollBar;

namespace velora {

struct ControllerImage;

// Pixels per dialog unit for `font`: a quarter of its average character
// width across, an eighth of its height down.
struct DialogUnits {
    double x = 0, y = 0;
};
DialogUnits dialogUnitsOf(const QFont& font);

class LaidOutDialog : public QDialog {
    Q_OBJECT
  public:
    // The dialog keeps `model`; message boxes of the model go to `ui`.
    LaidOutDialog(QWidget* parent, const DialogLayout& layout, std::unique_ptr<DialogModel> model,
                  UserInterface& ui);

    // Opens the model, shows its state and runs the dialog modally; returns
    // once it is closed, with the result the model closed it with.
    int run();

    // The control of `id`, or null (also of the wrong kind).
    QWidget* control(int id) const;
    QLineEdit* field(int id) const;
    QPushButton* button(int id) const;
    QAbstractButton* checkBox(int id) const;  // check boxes and radio buttons
    QScrollBar* scrollBar(int id) const;
    // Called after each click the model has answered (an editor that writes
    // the image on "Accept" and stays open).
    void onClick(std::function<void()> handler) { clicked_ = std::move(handler); }

  public slots:
    // Escape and the close box: a click on control 2 ("Finish" or
    // "Cancel"), so that the model decides, with the texts as typed, whether
    // the dialog closes; one it keeps open stays as it is.
    void reject() override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Takes the texts of the fields, as typed, into the model's state, runs
    // `call` (what the user did, passed on to the model), shows the state
    // and closes the dialog when the model's reply says so.
    template <class Call>
    DialogReply pass(Call&& call);
    void passClick(int id);
    // A reply that refused a field stops the bar, so that a held arrow or a
    // dragged thumb does not go on asking once the message box is closed.
    void passScroll(QScrollBar* bar, int id, ScrollAction action);
    // Shows the model's state: texts, check marks, which controls take
    // input, the scroll bars, and the focus it asks for.
    void showState();

    std::unique_ptr<DialogModel> model_;
    UserInterface& ui_;
    std::function<void()> clicked_;
    std::map<int, QWidget*> controls_;
    std::map<QObject*, int> ids_;
    std::set<int> displayOnly_;  // shown but never for input, whatever the state says
    bool showing_ = false;       // while the state is being shown, nothing is passed on
    // A click or bar action is under way (and perhaps its message box):
    // the bar's repeat or a second click must not start another inside it.
    bool busy_ = false;
};

// Runs the editor dialog `Dialog` on `image` modally; returns once it is
// closed, with how it ended.
template <class Dialog>
EditorResult runEditorDialog(QWidget* parent, ControllerImage& image, UserInterface& ui) {
    Dialog dialog(parent, image, ui);
    return static_cast<EditorResult>(dialog.run());
}

}  // namespace velora
