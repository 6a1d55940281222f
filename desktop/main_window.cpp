#include "desktop/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QColor>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPalette>
#include <QProcess>
#include <QProgressBar>
#include <QSettings>
#include <QSizePolicy>
#include <QUrl>
#include <QVBoxLayout>

#include "desktop/client_area.h"
#include "desktop/dialogs/changes_window.h"
#include "desktop/dialogs/midi_editor_dialog.h"
#include "desktop/dialogs/scene_editor_dialog.h"
#include "desktop/dialogs/settings_editor_dialog.h"
#include "desktop/dialogs/sync_window.h"
#include "desktop/part_status_bar.h"
#include "desktop/qt_user_interface.h"
#include "shell/application.h"
#include "shell/menu_model.h"
#include "shell/shell_texts.h"
#include "shell/status_bar_model.h"
#include "shell/tick_pump.h"

namespace velora {

namespace {

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

MainWindow::MainWindow(Application& app, QtUserInterface& ui, TickPump& pump, QPixmap picture)
    : app_(app),
      ui_(ui),
      pump_(pump),
      commands_(app, ui, *this, QCoreApplication::applicationVersion().toStdString()),
      client_(new ClientArea(std::move(picture), [this] { refreshStatus(); })),
      statusBar_(new PartStatusBar) {
    setObjectName(QString::fromUtf8(kMainWindowClass));
    setWindowTitle(QString::fromUtf8(kMainWindowTitle));
    setFocusPolicy(Qt::StrongFocus);

    auto* central = new QWidget(this);
    // The window's own colour, seen while the client area is hidden.
    central->setAutoFillBackground(true);
    QPalette colours = central->palette();
    colours.setColor(QPalette::Window, QColor(241, 245, 247));
    central->setPalette(colours);
    // The scene editor hides the client area; the status bar stays at the bottom.
    QSizePolicy keepPlace = client_->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);
    client_->setSizePolicy(keepPlace);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(client_, 1);
    layout->addWidget(statusBar_);
    setCentralWidget(central);

    buildMenus();
    computeStatusParts();
    refreshStatus();
    // Counted again after an editor, a run or a data file: the window and
    // the count on the progress bar follow.
    app_.onChangesCounted([this] {
        if (changes_ && changes_->isVisible()) changes_->setChanges(app_.changes());
        repaintClient();
    });
    // A run ends inside an engine step: what follows it (a sync's next
    // step) comes once that step is over.
    app_.setRunEndedHook([this](RunOutcome) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (!app_.engine().idle()) return;
                const TransferState before = app_.engine().state();
                commands_.runEnded();
                if (app_.engine().state() != before) repaintClient();
                pump_.wake();
            },
            Qt::QueuedConnection);
    });
}

MainWindow::~MainWindow() {
    app_.onChangesCounted({});
    app_.setRunEndedHook({});
    // The selection popup first, then the menu bar with its popups.
    delete menuOf(kSelectionMenuKey);
    menus_.clear();
}

// --- menus ------------------------------------------------------------------

void MainWindow::buildMenus() {
    // The selection popup exists before the Action popup that shows it five times.
    buildPopup(kSelectionMenuKey, QString());
    const std::optional<Menu> bar = buildMenu(kMenuBarKey);
    if (!bar) return;
    for (const MenuEntry& entry : bar->entries) {
        if (entry.kind == MenuEntry::Popup) {
            if (QMenu* popup = buildPopup(entry.popupKey, qs(entry.text))) menuBar()->addMenu(popup);
        } else if (entry.kind == MenuEntry::Command) {
            QAction* action = menuBar()->addAction(qs(entry.text));
            const int command = entry.command;
            connect(action, &QAction::triggered, this, [this, command] { runCommand(command); });
        }
    }
    if (QMenu* action = menuOf(kActionMenuKey)) {
        // A menu also reports the highlights of the popups opened from it: only
        // its own entries choose the action.
        connect(action, &QMenu::hovered, this, [this, action](QAction* entry) {
            const auto position = action->actions().indexOf(entry);
            if (position >= 0) commands_.highlightActionEntry(static_cast<int>(position));
        });
    }
    if (QMenu* selection = menuOf(kSelectionMenuKey)) {
        // The popup opens from the entry highlighted now; a pick from it
        // carries out that entry's action, even when a run ended meanwhile.
        connect(selection, &QMenu::aboutToShow, this, [this] { commands_.selectionPopupOpened(); });
    }
}

QMenu* MainWindow::buildPopup(const std::string& key, const QString& title) {
    if (key == kSelectionMenuKey && menus_.count(key)) return menus_.at(key);
    const std::optional<Menu> menu = buildMenu(key, app_.link().portTable());
    if (!menu) return nullptr;
    auto* popup = new QMenu(title, this);
    popup->setObjectName(QString::fromUtf8(key.c_str()));
    menus_[key] = popup;
    for (const MenuEntry& entry : menu->entries) {
        switch (entry.kind) {
            case MenuEntry::Separator:
                popup->addSeparator();
                break;
            case MenuEntry::Popup: {
                QAction* opener = popup->addAction(qs(entry.text));
                if (QMenu* sub = buildPopup(entry.popupKey, qs(entry.text))) opener->setMenu(sub);
                break;
            }
            case MenuEntry::Command: {
                // Port entries are device names, not menu texts: an & in them is literal.
                QString text = qs(entry.text);
                if (entry.checkable) text.replace('&', QStringLiteral("&&"));
                QAction* action = popup->addAction(text);
                action->setEnabled(!entry.greyed);
                action->setCheckable(entry.checkable);
                const int command = entry.command;
                connect(action, &QAction::triggered, this, [this, action, command](bool checked) {
                    // The port that ends up open decides the check mark, not the click.
                    if (action->isCheckable()) action->setChecked(!checked);
                    runCommand(command);
                });
                break;
            }
        }
    }
    return popup;
}

QMenu* MainWindow::menuOf(const std::string& key) const {
    const auto it = menus_.find(key);
    return it == menus_.end() ? nullptr : it->second;
}

QAction* MainWindow::entryAt(const std::string& key, int position) const {
    QMenu* menu = menuOf(key);
    if (menu == nullptr || position < 0 || position >= menu->actions().size()) return nullptr;
    return menu->actions().at(position);
}

void MainWindow::setActionEntryEnabled(int position, bool enabled) {
    if (QAction* entry = entryAt(kActionMenuKey, position)) entry->setEnabled(enabled);
}

void MainWindow::setPortEntryChecked(int position, bool checked) {
    if (QAction* entry = entryAt(kPortMenuKey, position)) entry->setChecked(checked);
}

// --- commands -----------------------------------------------------------------

CommandDispatcher::Outcome MainWindow::runCommand(int command) {
    const TransferState before = app_.engine().state();
    const CommandDispatcher::Outcome outcome = commands_.dispatch(command);
    // A run that starts or ends shows its action in the status bar at once,
    // as the repaint after a closing menu or dialog would.
    if (app_.engine().state() != before) repaintClient();
    pump_.wake();
    return outcome;
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) runCommand(kCmdStop);
    if (!event->text().isEmpty() || event->key() == Qt::Key_Escape) update();
    QMainWindow::keyPressEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Closing by the frame asks the Exit question too: nothing unsaved goes unasked.
    if (!exitConfirmed_ && !commands_.confirmExit()) {
        event->ignore();
        return;
    }
    exitConfirmed_ = true;
    // The port in use is tried first at the next start.
    if (!app_.connection().port().empty())
        QSettings().setValue(QStringLiteral("line/port"), QString::fromStdString(app_.connection().port()));
    // A run still going is abandoned with the window: nothing steps it any more.
    if (!app_.engine().idle()) app_.engine().stop();
    event->accept();
}

// --- status bar and client area --------------------------------------------------

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    computeStatusParts();
    client_->update();
    statusBar_->update();
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::FontChange) computeStatusParts();
}

void MainWindow::computeStatusParts() {
    statusBar_->setEdges(statusPartEdges(frameGeometry().width(), fontMetrics().averageCharWidth()));
}

void MainWindow::setProgress(int position) {
    statusBar_->progressBar()->setValue(position);
}

void MainWindow::repaintClient() {
    // What a repaint of the client area shows is the picture, which never
    // changes, and fresh status texts. So the texts are refreshed as a
    // repaint would (soon, once, and not while the area is hidden) without
    // drawing the picture again after every block of a run.
    if (refreshPending_) return;
    refreshPending_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            refreshPending_ = false;
            if (client_->isVisible()) refreshStatus();
        },
        Qt::QueuedConnection);
}

void MainWindow::refreshStatus() {
    const TransferEngine& engine = app_.engine();
    statusBar_->setPartText(kRegionPart, app_.statusText(kRegionPart));
    statusBar_->setPartText(kActionPart, app_.statusText(kActionPart));
    statusBar_->setPartText(kFirmwarePart, app_.statusText(kFirmwarePart));
    // The progress bar tells the time a run still needs, and while idle the
    // port in use, whether the controller answers and the changes.
    const std::string left = engine.idle() ? std::string() : app_.progress().text();
    statusBar_->setProgressText(left.empty() ? app_.glanceText() : left);
}

// --- what the commands ask of the window ------------------------------------------

bool MainWindow::fileExists(const std::string& path) const {
    return QFileInfo::exists(qs(path));
}

std::string MainWindow::manualPath() const {
    // VELORA_MANUAL_FROM_PROGRAMS leads from the programs' folder to the
    // manual: share/velora/ beside bin/, in the build tree as installed.
    return QDir::cleanPath(QCoreApplication::applicationDirPath() +
                           QLatin1String("/" VELORA_MANUAL_FROM_PROGRAMS))
        .toStdString();
}

bool MainWindow::openHelpFile(const std::string& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(qs(path)).absoluteFilePath()));
}

void MainWindow::openWebPage(const std::string& address) {
#ifdef Q_OS_WIN
    const QString interpreter = qEnvironmentVariable("ComSpec").left(200);
    const QByteArray os = qgetenv("OS");
    QProcess::startDetached(interpreter,
                            QProcess::splitCommand(qs(downloadCommandLine(os.constData(), address))));
#else
    QDesktopServices::openUrl(QUrl(qs(address)));
#endif
}

void MainWindow::closeMainWindow() {
    exitConfirmed_ = true;
    close();
}

void MainWindow::runSceneEditor() {
    client_->hide();
    // It writes the image on each "Accept" and stays open: the changes
    // window follows each one.
    SceneEditorDialog editor(this, app_.image(), ui_);
    editor.onClick([this] { app_.recountChanges(); });
    editor.run();
    client_->show();
}

void MainWindow::showChanges() {
    if (!changes_) changes_ = new ChangesWindow(this);
    changes_->setChanges(app_.changes());
    changes_->show();
    changes_->raise();
    changes_->activateWindow();
}

void MainWindow::runSettingsEditor() {
    runEditorDialog<SettingsEditorDialog>(this, app_.image(), ui_);
}

void MainWindow::runMidiEditor() {
    runEditorDialog<MidiEditorDialog>(this, app_.image(), ui_);
}

bool MainWindow::confirmSyncWrite(const SyncRun& run) {
    return velora::confirmSyncWrite(this, run);
}

}  // namespace velora
