#include "desktop/dialogs/sync_window.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/sync_command.h"

namespace velora {

namespace {

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

// The lines of one region under its name and count.
void addGroup(QString& text, const char* name, const std::vector<std::string>& lines) {
    if (lines.empty()) return;
    if (!text.isEmpty()) text += QLatin1Char('\n');
    text += QStringLiteral("%1 (%2)\n").arg(QLatin1String(name)).arg(lines.size());
    for (const std::string& line : lines) text += QStringLiteral("  ") + qs(line) + QLatin1Char('\n');
}

}  // namespace

SyncWindow::SyncWindow(QWidget* parent, const SyncRun& run) : QDialog(parent) {
    setObjectName(QStringLiteral("SyncWindow"));
    setWindowTitle(QString::fromUtf8(kSyncCaption));
    const ImageDifferences& differences = run.differences();

    auto* count = new QLabel(qs(differenceCount(differences.count(), run.differing().size()) +
                                " between the controller and the show (controller <> show):"));
    count->setObjectName(QStringLiteral("count"));
    count->setWordWrap(true);

    QString text;
    addGroup(text, "Scenes", differences.scenes);
    addGroup(text, "Settings", differences.settings);
    addGroup(text, "MIDI assignments", differences.midi);
    auto* list = new QPlainTextEdit(text);
    list->setObjectName(QStringLiteral("differences"));
    list->setReadOnly(true);
    list->setLineWrapMode(QPlainTextEdit::NoWrap);
    list->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    auto* backup = new QLabel(qs("What the controller held is in " + run.backupText()));
    backup->setObjectName(QStringLiteral("backup"));
    backup->setWordWrap(true);
    backup->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* buttons = new QDialogButtonBox;
    write_ = buttons->addButton(qs(writeBlocksButton(run.differing().size())), QDialogButtonBox::AcceptRole);
    QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    cancel->setText(QStringLiteral("Cancel"));
    // Writing is a choice made on purpose: Enter does not make it.
    write_->setAutoDefault(false);
    cancel->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(count);
    layout->addWidget(list, 1);
    layout->addWidget(backup);
    layout->addWidget(buttons);
    resize(620, 420);
}

bool confirmSyncWrite(QWidget* parent, const SyncRun& run) {
    SyncWindow window(parent, run);
    return window.exec() == QDialog::Accepted;
}

}  // namespace velora
