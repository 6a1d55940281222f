#include "desktop/file_dialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>

#include "desktop/message_box.h"

namespace velora {

QStringList nameFiltersOf(const FileDialogRequest& request) {
    QStringList filters;
    for (const FileFilter& f : request.filters)
        filters << QString::fromStdString(f.name) + " (" + QString::fromStdString(f.pattern) + ")";
    return filters;
}

QString withDefaultExtension(const QString& path, const std::string& extension) {
    if (extension.empty() || path.isEmpty()) return path;
    if (QFileInfo(path).fileName().contains('.')) return path;
    return path + '.' + QString::fromStdString(extension);
}

namespace {

// Checks the dialog itself may not have made (a native dialog, or a name
// completed here with the default extension). False sends the user back to
// the dialog.
bool acceptable(QWidget* parent, FileDialogKind kind, const FileDialogRequest& request, const QString& path,
                bool extended) {
    const QFileInfo file(path);
    const std::string caption = request.title.empty() ? std::string("Warning") : request.title;
    if (kind == FileDialogKind::Open) {
        if ((request.flags & FileMustExist) && !file.exists()) {
            showMessageBox(parent,
                           path.toStdString() + "\nFile not found.\nCheck the file name and try again.",
                           caption, Icon::Warning, Buttons::Ok);
            return false;
        }
        if ((request.flags & PathMustExist) && !file.absoluteDir().exists()) {
            showMessageBox(parent, path.toStdString() + "\nPath does not exist.", caption, Icon::Warning,
                           Buttons::Ok);
            return false;
        }
        return true;
    }
    if (file.exists() && (request.flags & NoReadOnlyReturn) && !file.isWritable()) {
        showMessageBox(
            parent, path.toStdString() + "\nThis file is read-only.\nTry again with a different file name.",
            caption, Icon::Warning, Buttons::Ok);
        return false;
    }
    if (extended && file.exists() && (request.flags & OverwritePrompt)) {
        return showMessageBox(parent, path.toStdString() + " already exists.\nDo you want to replace it?",
                              caption, Icon::Warning, Buttons::YesNo) == Answer::Yes;
    }
    return true;
}

}  // namespace

bool runFileDialog(QWidget* parent, FileDialogKind kind, FileDialogRequest& request) {
    const QStringList filters = nameFiltersOf(request);
    QString start = QString::fromStdString(request.path);
    // The first dialog of a run opens in the folder last used, across runs.
    QSettings settings;
    const QString folder = settings.value(QStringLiteral("files/folder")).toString();
    const bool inLastFolder = start.isEmpty() && !folder.isEmpty() && QFileInfo(folder).isDir();
    for (;;) {
        QFileDialog dialog(parent, QString::fromStdString(request.title));
        dialog.setAcceptMode(kind == FileDialogKind::Open ? QFileDialog::AcceptOpen
                                                          : QFileDialog::AcceptSave);
        dialog.setFileMode(kind == FileDialogKind::Open && (request.flags & FileMustExist)
                               ? QFileDialog::ExistingFile
                               : QFileDialog::AnyFile);
        dialog.setNameFilters(filters);
        const int index = request.filterIndex;
        if (index >= 1 && index <= filters.size()) dialog.selectNameFilter(filters[index - 1]);
        if (!request.defaultExtension.empty())
            dialog.setDefaultSuffix(QString::fromStdString(request.defaultExtension));
        if (!(request.flags & OverwritePrompt)) dialog.setOption(QFileDialog::DontConfirmOverwrite);
        if (!start.isEmpty())
            dialog.selectFile(start);
        else if (inLastFolder)
            dialog.setDirectory(folder);

        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;

        const QString chosen = dialog.selectedFiles().constFirst();
        const QString path = withDefaultExtension(chosen, request.defaultExtension);
        const int chosenFilter = filters.indexOf(dialog.selectedNameFilter());
        if (chosenFilter >= 0) request.filterIndex = chosenFilter + 1;
        if (!acceptable(parent, kind, request, path, path != chosen)) {
            start = path;
            continue;
        }
        request.path = path.toStdString();
        settings.setValue(QStringLiteral("files/folder"), QFileInfo(path).absolutePath());
        return true;
    }
}

}  // namespace velora
