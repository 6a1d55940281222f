#include "desktop/message_box.h"

#include <QMessageBox>
#include <QPushButton>

namespace velora {

namespace {

QMessageBox::Icon qtIcon(Icon icon) {
    switch (icon) {
        case Icon::Information:
            return QMessageBox::Information;
        case Icon::Warning:
            return QMessageBox::Warning;
        case Icon::Error:
            return QMessageBox::Critical;
        case Icon::Question:
            return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

struct ButtonSet {
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton;
    QMessageBox::StandardButton escapeButton;
};

ButtonSet buttonSet(Buttons buttons) {
    switch (buttons) {
        case Buttons::Ok:
            return {QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok};
        case Buttons::YesNo:
            return {QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes, QMessageBox::No};
        case Buttons::RetryCancel:
            return {QMessageBox::Retry | QMessageBox::Cancel, QMessageBox::Retry, QMessageBox::Cancel};
        case Buttons::AbortRetryIgnore:
            return {QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore, QMessageBox::Abort,
                    QMessageBox::Abort};
    }
    return {QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok};
}

QMessageBox::StandardButton qtButton(Answer answer) {
    switch (answer) {
        case Answer::Ok:
            return QMessageBox::Ok;
        case Answer::Yes:
            return QMessageBox::Yes;
        case Answer::No:
            return QMessageBox::No;
        case Answer::Retry:
            return QMessageBox::Retry;
        case Answer::Cancel:
            return QMessageBox::Cancel;
        case Answer::Abort:
            return QMessageBox::Abort;
        case Answer::Ignore:
            return QMessageBox::Ignore;
    }
    return QMessageBox::NoButton;
}

Answer answerOf(QMessageBox::StandardButton button, const ButtonSet& set) {
    switch (button) {
        case QMessageBox::Ok:
            return Answer::Ok;
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
            return Answer::No;
        case QMessageBox::Retry:
            return Answer::Retry;
        case QMessageBox::Cancel:
            return Answer::Cancel;
        case QMessageBox::Abort:
            return Answer::Abort;
        case QMessageBox::Ignore:
            return Answer::Ignore;
        default:
            return answerOf(set.escapeButton, set);  // closed some other way
    }
}

}  // namespace

Answer showMessageBox(QWidget* parent, const std::string& text, const std::string& caption, Icon icon,
                      Buttons buttons, const std::string& reason, std::optional<Answer> defaultButton,
                      const std::string& detailed) {
    ButtonSet set = buttonSet(buttons);
    if (defaultButton && (set.buttons & qtButton(*defaultButton)))
        set.defaultButton = qtButton(*defaultButton);
    QMessageBox box(qtIcon(icon), QString::fromStdString(caption), QString::fromStdString(text), set.buttons,
                    parent);
    box.setTextFormat(Qt::PlainText);
    if (!reason.empty()) box.setInformativeText(QString::fromStdString(reason));
    if (!detailed.empty()) box.setDetailedText(QString::fromStdString(detailed));
    box.setDefaultButton(set.defaultButton);
    box.setEscapeButton(set.escapeButton);
    box.exec();
    return answerOf(box.standardButton(box.clickedButton()), set);
}

}  // namespace velora
