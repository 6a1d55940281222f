#pragma once
// The tick pump on the Qt event loop: ticks are posted on a zero-interval
// timer, which fires only once the window system's queued input has been
// handled; line deadlines are kept by a precise single-shot timer; a modal
// dialog holds the ticks back until it closes.

#include <QObject>
#include <QPointer>
#include <QTimer>

#include "shell/tick_pump.h"

class QWidget;

namespace velora {

class QtUserInterface;

class QtPumpHost : public QObject, public PumpHost {
    Q_OBJECT
  public:
    explicit QtPumpHost(QtUserInterface& ui);
    ~QtPumpHost() override;

    void setPump(TickPump* pump);

    void postTick() override;
    void armWakeUp(Duration delay) override;
    void cancelWakeUp() override;
    bool modalOpen() const override;
    void wakeWhenModalCloses() override;
    void resetProgress() override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void wakeSoon();

    QtUserInterface& ui_;
    TickPump* pump_ = nullptr;
    QTimer tickTimer_;
    QTimer wakeUpTimer_;
    QPointer<QWidget> watchedModal_;
};

}  // namespace velora
