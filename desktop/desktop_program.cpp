#include "desktop/desktop_program.h"

#include <QApplication>
#include <QSettings>

#include "desktop/client_area.h"
#include "desktop/main_window.h"
#include "desktop/qt_pump_host.h"
#include "desktop/qt_user_interface.h"
#include "shell/application.h"
#include "shell/shell_texts.h"
#include "shell/tick_pump.h"

namespace velora {

DesktopProgram::DesktopProgram(SerialPortFactory& factory, const Clock& clock)
    : factory_(factory), clock_(clock) {}

DesktopProgram::~DesktopProgram() {
    // Menus and window first, then the line and the engine, as at shutdown.
    if (ui_) ui_->attach(nullptr);
    window_.reset();
    if (pumpHost_) pumpHost_->setPump(nullptr);
    pump_.reset();
    pumpHost_.reset();
    app_.reset();
    ui_.reset();
}

std::optional<int> DesktopProgram::start() {
    QPixmap picture = drawBackgroundPicture();
    ui_ = std::make_unique<QtUserInterface>();
    // The engine starts set for a version query, the file dialog request and
    // the firmware text "\tFW : N/A" with it.
    app_ = std::make_unique<Application>(factory_, *ui_, clock_);
    if (!app_->buildPorts()) return kNoPortsExitCode;

    pumpHost_ = std::make_unique<QtPumpHost>(*ui_);
    pump_ = std::make_unique<TickPump>(app_->pumpTarget(), *pumpHost_, clock_);
    pumpHost_->setPump(pump_.get());

    window_ = std::make_unique<MainWindow>(*app_, *ui_, *pump_, std::move(picture));
    ui_->attach(window_.get());
    window_->move(0, 0);
    window_->resize(kMainWindowWidth, kMainWindowHeight);
    window_->show();
    QCoreApplication::processEvents();  // let the window appear before the search holds the loop

    app_->searchAtStartUp(QSettings().value(QStringLiteral("line/port")).toString().toStdString());
    window_->repaintClient();
    pump_->wake();
    return std::nullopt;
}

int DesktopProgram::run() {
    if (const std::optional<int> code = start()) return *code;
    return QApplication::exec();
}

}  // namespace velora
