#pragma once
// Driving modal dialogs and message boxes from a test: whatever a test
// wants done in a dialog is armed before the code that opens it runs, and
// happens as soon as the dialog is on top.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <vector>

#include "desktop/dialogs/scene_range_dialog.h"

namespace velora::testing {

// Calls `act` with the modal widget on top as soon as it is a T.
template <class T>
void whenModal(std::function<void(T*)> act) {
    auto* timer = new QTimer;
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (auto* modal = qobject_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            act(modal);
        }
    });
    timer->start();
}

// The same for any modal widget.
inline void whenModal(std::function<void(QWidget*)> act) {
    whenModal<QWidget>(std::move(act));
}

// Answers the next message box with `button`, keeping its text, caption,
// icon and default button.
inline void answerMessage(QMessageBox::StandardButton button, QString* text = nullptr,
                          QString* caption = nullptr, QMessageBox::Icon* icon = nullptr,
                          QMessageBox::StandardButton* defaultButton = nullptr) {
    whenModal<QMessageBox>([=](QMessageBox* box) {
        if (text) *text = box->text();
        if (caption) *caption = box->windowTitle();
        if (icon) *icon = box->icon();
        if (defaultButton) *defaultButton = box->standardButton(box->defaultButton());
        box->button(button)->click();
    });
}

// Answers the next "Zakres" dialog with a range, as typed into its fields.
inline void answerRange(const char* fromProgramme, const char* fromScene, const char* toProgramme,
                        const char* toScene) {
    whenModal<SceneRangeDialog>([=](SceneRangeDialog* dialog) {
        dialog->field(kRangeFromProgramme)->setText(fromProgramme);
        dialog->field(kRangeFromScene)->setText(fromScene);
        dialog->field(kRangeToProgramme)->setText(toProgramme);
        dialog->field(kRangeToScene)->setText(toScene);
        dialog->button(kDialogOk)->click();
    });
}

// Arms `act` for the next dialog D to come up, then calls `open`, which runs
// it modally. `act` drives the dialog once it is active; one that `act` left
// open is closed with -1, so a failed step cannot hang the test. Gives the
// dialog's result (-1 also when it never finished).
template <class D>
int runDialog(const std::function<void(D&)>& act, const std::function<void()>& open) {
    int result = -1;
    whenModal<D>([&](D* dialog) {
        QObject::connect(dialog, &QDialog::finished, [&result](int r) { result = r; });
        dialog->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(dialog));
        act(*dialog);
        if (dialog->isVisible()) dialog->done(-1);
    });
    open();
    return result;
}

// Types `text` into `field` in place of what it holds, as a user would; an
// empty text leaves the field empty.
inline void retype(QLineEdit* field, const char* text) {
    ASSERT_NE(field, nullptr);
    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, QString::fromUtf8(text));
}

// A click on a check box's or radio button's indicator, at its left.
inline void clickBox(QAbstractButton* box) {
    ASSERT_NE(box, nullptr);
    QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier,
                      QPoint(std::min(6, box->width() / 2), box->height() / 2));
}

// The ids of the controls (named "control<id>") that the focus visits from
// `first`, one Tab at a time, until it comes round to `first` again or
// `limit` controls were visited; -1 for a step with no focused widget.
inline std::vector<int> tabOrder(QWidget* first, std::size_t limit) {
    std::vector<int> visited;
    first->setFocus();
    for (std::size_t i = 0; i < limit; ++i) {
        QWidget* focused = QApplication::focusWidget();
        const int id = focused != nullptr ? focused->objectName().mid(7).toInt() : -1;
        if (!visited.empty() && id == visited.front()) break;
        visited.push_back(id);
        if (focused == nullptr) break;
        QTest::keyClick(focused, Qt::Key_Tab);
    }
    return visited;
}

}  // namespace velora::testing
