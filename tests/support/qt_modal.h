#pragma once
// Driving modal dialogs and message boxes from a test: whatever a test
// wants done in a dialog is armed before the code that opens it runs, and
// happens as soon as the dialog is on top.

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

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

// Answers the next message box with `button`, keeping its text and caption.
inline void answerMessage(QMessageBox::StandardButton button, QString* text = nullptr,
                          QString* caption = nullptr) {
    whenModal<QMessageBox>([=](QMessageBox* box) {
        if (text) *text = box->text();
        if (caption) *caption = box->windowTitle();
        box->button(button)->click();
    });
}

// Types `text` into `field` in place of what it holds, as a user would.
inline void retype(QLineEdit* field, const char* text) {
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, QString::fromUtf8(text));
}

}  // namespace velora::testing
