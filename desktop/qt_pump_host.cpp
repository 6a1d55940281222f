#include "desktop/qt_pump_host.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

#include "desktop/qt_user_interface.h"

namespace velora {

QtPumpHost::QtPumpHost(QtUserInterface& ui) : ui_(ui) {
    tickTimer_.setSingleShot(true);
    tickTimer_.setInterval(0);
    connect(&tickTimer_, &QTimer::timeout, this, [this] {
        if (pump_) pump_->runPostedTick();
    });
    wakeUpTimer_.setSingleShot(true);
    wakeUpTimer_.setTimerType(Qt::PreciseTimer);
    connect(&wakeUpTimer_, &QTimer::timeout, this, [this] {
        if (pump_) pump_->wakeUpTime();
    });
    ui_.setModalsClosedHandler([this] { wakeSoon(); });
}

QtPumpHost::~QtPumpHost() {
    ui_.setModalsClosedHandler({});
    if (watchedModal_) watchedModal_->removeEventFilter(this);
}

void QtPumpHost::setPump(TickPump* pump) {
    pump_ = pump;
}

void QtPumpHost::postTick() {
    tickTimer_.start();
}

void QtPumpHost::armWakeUp(Duration delay) {
    // Round up: waking before the deadline would only poll in vain.
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(delay);
    wakeUpTimer_.start(ms);
}

void QtPumpHost::cancelWakeUp() {
    wakeUpTimer_.stop();
}

bool QtPumpHost::modalOpen() const {
    return QApplication::activeModalWidget() != nullptr || ui_.openModals() > 0;
}

void QtPumpHost::wakeWhenModalCloses() {
    // Dialogs of ours report their closing themselves; others are watched.
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || modal == watchedModal_) return;
    if (watchedModal_) watchedModal_->removeEventFilter(this);
    watchedModal_ = modal;
    modal->installEventFilter(this);
}

bool QtPumpHost::eventFilter(QObject* watched, QEvent* event) {
    if (watched == watchedModal_ && (event->type() == QEvent::Hide || event->type() == QEvent::Destroy)) {
        watchedModal_->removeEventFilter(this);
        watchedModal_ = nullptr;
        wakeSoon();
    }
    return QObject::eventFilter(watched, event);
}

void QtPumpHost::wakeSoon() {
    // After the dialog's own event loop has returned.
    QTimer::singleShot(0, this, [this] {
        if (pump_) pump_->wake();
    });
}

void QtPumpHost::resetProgress() {
    ui_.setProgress(0);
}

}  // namespace velora
