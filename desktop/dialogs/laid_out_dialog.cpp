#include "desktop/dialogs/laid_out_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <algorithm>
#include <cmath>

namespace velora {

DialogUnits dialogUnitsOf(const QFont& font) {
    const QFontMetrics metrics(font);
    return {metrics.averageCharWidth() / 4.0, metrics.height() / 8.0};
}

namespace {

QString text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// Widens the horizontal unit where a static text would not fit its box in
// this font, so the arrangement keeps its proportions (a centred text may
// wrap, so only its longest word must fit). Never more than half as wide
// again as the font gives.
double fittedHorizontalUnit(const QFont& font, const DialogLayout& layout, double unit) {
    const QFontMetrics metrics(font);
    const double most = unit * 1.5;
    for (const DialogControl& c : layout.controls) {
        if (c.kind != DialogControl::Label && c.kind != DialogControl::CentredLabel) continue;
        if (c.width <= 0) continue;
        int needed = 0;
        if (c.kind == DialogControl::Label) {
            needed = metrics.horizontalAdvance(text(c.caption));
        } else {
            for (const QString& word : text(c.caption).split(' ', Qt::SkipEmptyParts))
                needed = std::max(needed, metrics.horizontalAdvance(word));
        }
        unit = std::max(unit, needed / static_cast<double>(c.width));
    }
    return std::min(unit, most);
}

ScrollAction scrollActionOf(int action) {
    switch (action) {
        case QAbstractSlider::SliderSingleStepSub:
            return ScrollAction::LineUp;
        case QAbstractSlider::SliderSingleStepAdd:
            return ScrollAction::LineDown;
        case QAbstractSlider::SliderPageStepSub:
            return ScrollAction::PageUp;
        case QAbstractSlider::SliderPageStepAdd:
            return ScrollAction::PageDown;
        case QAbstractSlider::SliderMove:
            return ScrollAction::ThumbTrack;
        default:
            return ScrollAction::Other;
    }
}

}  // namespace

LaidOutDialog::LaidOutDialog(QWidget* parent, const DialogLayout& layout, std::unique_ptr<DialogModel> model,
                             UserInterface& ui)
    : QDialog(parent), model_(std::move(model)), ui_(ui) {
    setObjectName(text(layout.resource));
    setWindowTitle(text(layout.caption));
    setModal(true);

    DialogUnits units = dialogUnitsOf(font());
    units.x = fittedHorizontalUnit(font(), layout, units.x);
    const auto px = [](int du, double u) { return static_cast<int>(std::lround(du * u)); };
    const int editHeight = QLineEdit().sizeHint().height();
    QButtonGroup* radios = nullptr;

    for (const DialogControl& c : layout.controls) {
        QRect box(px(c.x, units.x), px(c.y, units.y), px(c.width, units.x), px(c.height, units.y));
        QWidget* widget = nullptr;
        switch (c.kind) {
            case DialogControl::Label:
            case DialogControl::CentredLabel: {
                auto* label = new QLabel(text(c.caption), this);
                const bool centred = c.kind == DialogControl::CentredLabel;
                label->setAlignment(centred ? Qt::AlignHCenter | Qt::AlignTop
                                            : Qt::AlignLeft | Qt::AlignVCenter);
                label->setWordWrap(centred && box.height() > QFontMetrics(font()).height() * 3 / 2);
                widget = label;
                break;
            }
            case DialogControl::GroupBox: {
                auto* group = new QGroupBox(text(c.caption), this);
                group->lower();  // a frame around controls that are its siblings
                widget = group;
                break;
            }
            case DialogControl::Edit:
            case DialogControl::RightEdit:
            case DialogControl::CentredEdit: {
                auto* edit = new QLineEdit(this);
                edit->setAlignment(c.kind == DialogControl::RightEdit     ? Qt::AlignRight | Qt::AlignVCenter
                                   : c.kind == DialogControl::CentredEdit ? Qt::AlignCenter
                                                                          : Qt::AlignLeft | Qt::AlignVCenter);
                // A line edit needs its own height; grow it about the box's centre.
                if (box.height() < editHeight) box.adjust(0, -(editHeight - box.height()) / 2, 0, 0);
                box.setHeight(std::max(box.height(), editHeight));
                const int id = c.id;
                connect(edit, &QLineEdit::textEdited, this, [this, id] {
                    if (!showing_) pass([&] { return model_->textChanged(id, ui_); });
                });
                edit->installEventFilter(this);
                widget = edit;
                break;
            }
            case DialogControl::Button:
            case DialogControl::DefaultButton: {
                auto* push = new QPushButton(text(c.caption), this);
                // A button that has the focus takes Enter for itself; the
                // default one takes it elsewhere.
                push->setDefault(c.kind == DialogControl::DefaultButton);
                push->setAutoDefault(true);
                const int id = c.id;
                connect(push, &QPushButton::clicked, this, [this, id] { passClick(id); });
                widget = push;
                break;
            }
            case DialogControl::CheckBox:
            case DialogControl::AutoCheckBox:
            case DialogControl::RadioButton: {
                QAbstractButton* check = nullptr;
                if (c.kind == DialogControl::RadioButton) {
                    check = new QRadioButton(text(c.caption), this);
                    if (radios == nullptr || (c.flags & DialogControl::GroupStart))
                        radios = new QButtonGroup(this);
                    radios->addButton(check);
                } else {
                    check = new QCheckBox(text(c.caption), this);
                }
                const int id = c.id;
                connect(check, &QAbstractButton::clicked, this, [this, id] {
                    if (!showing_) passClick(id);
                });
                widget = check;
                break;
            }
            case DialogControl::VScrollBar: {
                auto* bar = new QScrollBar(Qt::Vertical, this);
                const int id = c.id;
                connect(bar, &QAbstractSlider::actionTriggered, this, [this, bar, id](int action) {
                    if (!showing_) passScroll(bar, id, scrollActionOf(action));
                });
                connect(bar, &QAbstractSlider::sliderReleased, this, [this, bar, id] {
                    if (!showing_) passScroll(bar, id, ScrollAction::ThumbPosition);
                });
                widget = bar;
                break;
            }
        }
        widget->setGeometry(box);
        if (c.flags & DialogControl::Disabled) widget->setEnabled(false);
        if (c.id >= 0 && (c.flags & DialogControl::Disabled)) displayOnly_.insert(c.id);
        if (c.id >= 0) {
            widget->setObjectName(QStringLiteral("control%1").arg(c.id));
            controls_[c.id] = widget;
            ids_[widget] = c.id;
        }
    }
    setFixedSize(px(layout.width, units.x), px(layout.height, units.y));
}

QWidget* LaidOutDialog::control(int id) const {
    const auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

QLineEdit* LaidOutDialog::field(int id) const {
    return qobject_cast<QLineEdit*>(control(id));
}

QPushButton* LaidOutDialog::button(int id) const {
    return qobject_cast<QPushButton*>(control(id));
}

QAbstractButton* LaidOutDialog::checkBox(int id) const {
    auto* check = qobject_cast<QAbstractButton*>(control(id));
    return qobject_cast<QPushButton*>(check) ? nullptr : check;
}

QScrollBar* LaidOutDialog::scrollBar(int id) const {
    return qobject_cast<QScrollBar*>(control(id));
}

int LaidOutDialog::run() {
    model_->open(ui_);
    showState();
    return exec();
}

template <class Call>
DialogReply LaidOutDialog::pass(Call&& call) {
    DialogState& state = model_->state();
    for (const auto& [id, widget] : controls_)
        if (auto* edit = qobject_cast<QLineEdit*>(widget)) state.setFieldText(id, edit->text().toStdString());
    const DialogReply reply = call();
    showState();
    if (reply.closes()) done(reply.result());
    return reply;
}

void LaidOutDialog::passClick(int id) {
    if (busy_) return;
    busy_ = true;
    pass([&] { return model_->click(id, ui_); });
    busy_ = false;
    if (clicked_) clicked_();
}

void LaidOutDialog::reject() {
    passClick(kDialogCancel);
}

void LaidOutDialog::passScroll(QScrollBar* bar, int id, ScrollAction action) {
    if (busy_) return;
    busy_ = true;
    const int position = bar->sliderPosition();
    if (pass([&] { return model_->scroll(id, action, position, ui_); }).refusedField()) {
        bar->setEnabled(false);  // ends a held arrow's repeat or a drag
        bar->setEnabled(true);
    }
    busy_ = false;
}

void LaidOutDialog::showState() {
    DialogState& state = model_->state();
    showing_ = true;
    for (const auto& [id, shown] : state.controls()) {
        QWidget* widget = control(id);
        if (widget == nullptr) continue;
        widget->setEnabled(shown.enabled && !displayOnly_.contains(id));
        if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            const QString wanted = QString::fromStdString(shown.text);
            if (edit->text() != wanted) edit->setText(wanted);  // a field being typed in keeps its cursor
        } else if (auto* check = checkBox(id)) {
            if (check->isChecked() != shown.checked) {
                // A radio button is cleared only through its group.
                if (auto* group = check->group(); group && !shown.checked) {
                    group->setExclusive(false);
                    check->setChecked(false);
                    group->setExclusive(true);
                } else {
                    check->setChecked(shown.checked);
                }
            }
        } else if (auto* bar = qobject_cast<QScrollBar*>(widget)) {
            const QSignalBlocker quiet(bar);
            bar->setRange(shown.minimum, shown.maximum);
            bar->setValue(shown.position);
        }
    }
    if (const auto focus = state.takeFocus()) {
        if (QWidget* widget = control(focus->id)) {
            widget->setFocus(Qt::OtherFocusReason);
            if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
                const int from =
                    static_cast<int>(std::min<std::size_t>(focus->selectFrom, edit->text().size()));
                const int length = focus->selectLength == FocusRequest::kToTheEnd
                                       ? static_cast<int>(edit->text().size()) - from
                                       : static_cast<int>(focus->selectLength);
                edit->setSelection(from, length);
            }
        }
    }
    showing_ = false;
}

bool LaidOutDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut && !showing_) {
        const auto it = ids_.find(watched);
        if (it != ids_.end()) pass([&] { return model_->focusLeft(it->second, ui_); });
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace velora
