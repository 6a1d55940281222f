#include "desktop/dialogs/scene_range_dialog.h"

#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
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
// this font, so the arrangement keeps its proportions.
double fittedHorizontalUnit(const QFont& font, double unit) {
    const QFontMetrics metrics(font);
    for (const DialogControl& c : kSceneRangeLayout.controls) {
        if (c.kind != DialogControl::Label && c.kind != DialogControl::CentredLabel) continue;
        unit = std::max(unit, metrics.horizontalAdvance(text(c.caption)) / static_cast<double>(c.width));
    }
    return unit;
}

}  // namespace

SceneRangeDialog::SceneRangeDialog(QWidget* parent, SceneRange& range, UserInterface& ui)
    : QDialog(parent), range_(range), ui_(ui) {
    setObjectName(text(kSceneRangeLayout.resource));
    setWindowTitle(text(kSceneRangeLayout.caption));
    setModal(true);

    DialogUnits unit = dialogUnitsOf(font());
    unit.x = fittedHorizontalUnit(font(), unit.x);
    const auto px = [](int du, double u) { return static_cast<int>(std::lround(du * u)); };
    const int editHeight = QLineEdit().sizeHint().height();

    for (const DialogControl& c : kSceneRangeLayout.controls) {
        QRect box(px(c.x, unit.x), px(c.y, unit.y), px(c.width, unit.x), px(c.height, unit.y));
        switch (c.kind) {
            case DialogControl::Label:
            case DialogControl::CentredLabel: {
                auto* label = new QLabel(text(c.caption), this);
                label->setAlignment(c.kind == DialogControl::CentredLabel
                                        ? Qt::AlignHCenter | Qt::AlignVCenter
                                        : Qt::AlignLeft | Qt::AlignVCenter);
                label->setGeometry(box);
                break;
            }
            case DialogControl::Edit: {
                auto* edit = new QLineEdit(this);
                edit->setObjectName(QStringLiteral("field%1").arg(c.id));
                // A line edit needs its own height; grow it about the box's centre.
                if (box.height() < editHeight) box.adjust(0, -(editHeight - box.height()) / 2, 0, 0);
                box.setHeight(std::max(box.height(), editHeight));
                edit->setGeometry(box);
                fields_[c.id] = edit;
                break;
            }
            case DialogControl::Button:
            case DialogControl::DefaultButton: {
                auto* button = new QPushButton(text(c.caption), this);
                button->setObjectName(QStringLiteral("button%1").arg(c.id));
                button->setGeometry(box);
                // OK is the default; a button that has the focus takes Enter
                // for itself, so Enter on "Cancel" never starts a transfer.
                button->setDefault(c.kind == DialogControl::DefaultButton);
                button->setAutoDefault(true);
                buttons_[c.id] = button;
                break;
            }
        }
    }
    setFixedSize(px(kSceneRangeLayout.width, unit.x), px(kSceneRangeLayout.height, unit.y));

    connect(buttons_.at(kDialogOk), &QPushButton::clicked, this, &SceneRangeDialog::pressOk);
    connect(buttons_.at(kRangeAll), &QPushButton::clicked, this, &SceneRangeDialog::pressAll);
    connect(buttons_.at(kDialogCancel), &QPushButton::clicked, this, &SceneRangeDialog::reject);

    range_.show(*this);
    focusWholeText(kRangeFromProgramme);
}

std::string SceneRangeDialog::fieldText(int id) const {
    const auto it = fields_.find(id);
    return it == fields_.end() ? std::string() : it->second->text().toStdString();
}

void SceneRangeDialog::setFieldText(int id, const std::string& value) {
    if (QLineEdit* edit = field(id)) edit->setText(QString::fromStdString(value));
}

void SceneRangeDialog::focusWholeText(int id) {
    if (QLineEdit* edit = field(id)) {
        edit->setFocus(Qt::OtherFocusReason);
        edit->selectAll();
    }
}

QLineEdit* SceneRangeDialog::field(int id) const {
    const auto it = fields_.find(id);
    return it == fields_.end() ? nullptr : it->second;
}

QPushButton* SceneRangeDialog::button(int id) const {
    const auto it = buttons_.find(id);
    return it == buttons_.end() ? nullptr : it->second;
}

void SceneRangeDialog::pressOk() {
    if (const auto result = range_.pressOk(*this, ui_)) done(static_cast<int>(*result));
}

void SceneRangeDialog::pressAll() {
    done(static_cast<int>(range_.pressAll()));
}

void SceneRangeDialog::reject() {
    done(static_cast<int>(range_.pressCancel()));
}

}  // namespace velora
