#include "desktop/dialogs/midi_editor_dialog.h"

#include <QAbstractButton>
#include <QFontMetricsF>
#include <QLabel>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <algorithm>
#include <cmath>

namespace velora {

namespace {

// Where the check mark of a check box is drawn, across, in its parent.
double markCentre(const QAbstractButton* box) {
    QStyleOptionButton option;
    option.initFrom(box);
    return box->x() + box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box).center().x();
}

// The heads of the two check box columns end in the field digits "1    2
// 3", spread with blanks to stand over the three boxes. The blanks are
// widened or narrowed to the boxes' spacing in this font, the head is made
// just wide enough for its words to break before the digits, and it is
// centred over the middle box.
void putDigitsOverBoxes(QLabel* head, const QAbstractButton* first, const QAbstractButton* middle) {
    const QString caption = head->text();
    const qsizetype digits = caption.indexOf(QLatin1Char('1'));
    const qsizetype two = caption.indexOf(QLatin1Char('2'), digits);
    if (digits < 0 || two < 0) return;
    const QString step = caption.mid(digits, two - digits);  // "1" and its blanks
    const qsizetype blanks = step.count(QLatin1Char(' '));
    if (blanks == 0) return;

    QFont font = head->font();
    const double pitch = markCentre(middle) - markCentre(first);
    const double natural = QFontMetricsF(font).horizontalAdvance(step);
    font.setWordSpacing(font.wordSpacing() + (pitch - natural) / static_cast<double>(blanks));
    head->setFont(font);

    // One line per run of words before the digits, then the digits.
    const QFontMetricsF metrics(font);
    double width = metrics.horizontalAdvance(caption.mid(digits));
    for (const QString& line : caption.left(digits).split(QStringLiteral("  "), Qt::SkipEmptyParts))
        width = std::max(width, metrics.horizontalAdvance(line.trimmed()));
    const int wide = static_cast<int>(std::ceil(width)) + 2;
    const int centre = static_cast<int>(std::lround(markCentre(middle)));
    head->setGeometry(centre - wide / 2, head->y(), wide, head->height());
}

}  // namespace

MidiEditorDialog::MidiEditorDialog(QWidget* parent, ControllerImage& image, UserInterface& ui)
    : LaidOutDialog(parent, kMidiEditorLayout, std::make_unique<MidiEditor>(image), ui) {
    // The bar takes the focus from Tab like the fields, so Page Up/Down and
    // the arrow keys scroll the rows.
    QScrollBar* bar = scrollBar(kMidiScrollBar);
    bar->setFocusPolicy(Qt::StrongFocus);
    bar->setSingleStep(1);
    bar->setPageStep(kMidiRows);
    for (QLabel* head : findChildren<QLabel*>()) {
        if (head->text() == QString::fromUtf8(kMidiTriggeringHead))
            putDigitsOverBoxes(head, checkBox(midiTriggerBox(0, 0)), checkBox(midiTriggerBox(0, 1)));
        else if (head->text() == QString::fromUtf8(kMidiAssignmentHead))
            putDigitsOverBoxes(head, checkBox(midiAssignBox(0, 0)), checkBox(midiAssignBox(0, 1)));
    }
}

}  // namespace velora
