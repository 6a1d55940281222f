#include "desktop/dialogs/editor_placeholders.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

namespace velora {

void runEditorPlaceholder(QWidget* parent, EditorKind kind) {
    struct Names {
        const char* resource;
        const char* caption;
    };
    const Names names = kind == EditorKind::Scenes     ? Names{"Edycja", ""}
                        : kind == EditorKind::Settings ? Names{"SpecEdit", "Settings"}
                                                       : Names{"MidiEdit", "MIDI assignments"};
    QDialog dialog(parent);
    dialog.setObjectName(QString::fromUtf8(names.resource));
    dialog.setWindowTitle(QString::fromUtf8(names.caption));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(
        new QLabel(QStringLiteral("This editor is not available in this version of the program."), &dialog));
    auto* buttons = new QDialogButtonBox(&dialog);
    buttons->addButton(QStringLiteral("Finish"), QDialogButtonBox::RejectRole);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog.exec();
}

}  // namespace velora
