#include "desktop/dialogs/scene_editor_dialog.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionFrame>
#include <algorithm>
#include <cmath>

namespace velora {

namespace {

// Group boxes drawn with their frame line through the middle of the
// caption, so that controls placed just under a caption stay clear of it.
constexpr const char* kFrameStyle =
    "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 0.6em; }"
    "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
    " left: 5px; padding: 0 2px; }";

// The width a value box needs to show "255" whole.
int valueBoxWidth(const QLineEdit* box) {
    QStyleOptionFrame option;
    option.initFrom(box);
    option.lineWidth = box->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, box);
    const QFontMetrics metrics(box->font());
    // The text keeps a margin of 2 pixels each side and room for the cursor.
    const QSize text(metrics.horizontalAdvance(QStringLiteral("255")) + 5, metrics.height());
    return box->style()->sizeFromContents(QStyle::CT_LineEdit, &option, text, box).width();
}

// Pixels kept between a caption and the frame line beside it.
constexpr int kFrameClearance = 4;

// How much wider `widget` must be to show its caption whole.
int lacking(const QWidget* widget) {
    return std::max(0, widget->sizeHint().width() - widget->width());
}

void moveRight(QWidget* widget, int dx) {
    widget->move(widget->x() + dx, widget->y());
}

void widen(QWidget* widget, int dx) {
    widget->resize(widget->width() + dx, widget->height());
}

}  // namespace

SceneEditorDialog::SceneEditorDialog(QWidget* parent, ControllerImage& image, UserInterface& ui)
    : LaidOutDialog(parent, kSceneEditorLayout, std::make_unique<SceneEditor>(image), ui) {
    // A frame without title text or close box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint);
    // The bars take the keyboard focus, so that the arrow and page keys
    // move a bar that has it.
    for (int k = 0; k < kEditValues; ++k) scrollBar(editBar(k))->setFocusPolicy(Qt::StrongFocus);
    fitCaptions();
}

void SceneEditorDialog::fitCaptions() {
    setStyleSheet(QString::fromLatin1(kFrameStyle));
    for (auto* frame : findChildren<QGroupBox*>(Qt::FindDirectChildrenOnly)) {
        if (frame->y() < 0) frame->setGeometry(frame->x(), 0, frame->width(), frame->height() + frame->y());
    }

    // The value boxes set the scale across: the whole arrangement widens
    // until "255" fits in them.
    QLineEdit* valueBox = field(editValueBox(0));
    if (const int need = valueBoxWidth(valueBox); need > valueBox->width()) {
        const double scale = static_cast<double>(need) / valueBox->width();
        const auto across = [scale](int x) { return static_cast<int>(std::lround(x * scale)); };
        for (auto* widget : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            const QRect g = widget->geometry();
            widget->setGeometry(across(g.x()), g.y(), across(g.x() + g.width()) - across(g.x()), g.height());
        }
        setFixedSize(across(width()), height());
    }

    // The programme column widens until the mode captions fit inside its
    // frame; everything right of it moves along.
    QWidget* programmeFrame = control(kEditProgrammeFrame);
    const int columnEdge = programmeFrame->x() + programmeFrame->width();
    int column = 0;
    for (const int mode : {kEditModeAuto, kEditModeManual, kEditModeMusic, kEditModeMidi}) {
        const QWidget* radio = control(mode);
        column = std::max(column, radio->x() + radio->sizeHint().width() + kFrameClearance - columnEdge);
    }
    if (column > 0) {
        for (auto* widget : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (widget->x() >= columnEdge) moveRight(widget, column);
        for (const int id :
             {kEditProgrammeFrame, kEditModeAuto, kEditModeManual, kEditModeMusic, kEditModeMidi})
            widen(control(id), column);
        setFixedSize(width() + column, height());
    }

    // " END" widens its frame and pushes "Load" and "Accept" along ("Finish"
    // has room to spare).
    if (const int end = lacking(control(kEditEnd)); end > 0) {
        widen(control(kEditEnd), end);
        widen(control(kEditSceneFrame), end);
        moveRight(control(kEditLoad), end);
        moveRight(control(kEditAccept), end);
    }

    // A fixture box is at least as wide as its mark, about the same centre.
    for (int n = 1; n <= kEditFixtures; ++n) {
        QWidget* fixture = control(editFixtureBox(n));
        if (const int more = lacking(fixture); more > 0)
            fixture->setGeometry(fixture->x() - more / 2, fixture->y(), fixture->width() + more,
                                 fixture->height());
    }
}

void SceneEditorDialog::keyPressEvent(QKeyEvent* event) {
    // The dialog has no default button: Enter outside a push button does
    // nothing (a focused push button takes Enter itself).
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    LaidOutDialog::keyPressEvent(event);
}

}  // namespace velora
