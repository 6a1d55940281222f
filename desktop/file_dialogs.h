#pragma once
// The open and save dialogs of the shared file dialog request: its filters,
// the filter index (written back), the title, the default extension and the
// option flags.

#include <QString>
#include <QStringList>

#include "platform/ui.h"

class QWidget;

namespace velora {

enum class FileDialogKind { Open, Save };

// True when a file was chosen; `request.path` and `request.filterIndex` then
// hold the choice.
bool runFileDialog(QWidget* parent, FileDialogKind kind, FileDialogRequest& request);

// The "name (pattern)" filter strings of a request.
QStringList nameFiltersOf(const FileDialogRequest& request);

// `path` with ".extension" added when its file name has no extension.
QString withDefaultExtension(const QString& path, const std::string& extension);

}  // namespace velora
