#include "platform/qt/client_area.h"

#include <QPainter>

namespace velora {

ClientArea::ClientArea(QPixmap picture, std::function<void()> refreshStatus, QWidget* parent)
    : QFrame(parent), picture_(std::move(picture)), refreshStatus_(std::move(refreshStatus)) {
    setObjectName(QStringLiteral("client"));
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, backgroundColour());
    setPalette(colours);
    setAutoFillBackground(true);
}

void ClientArea::paintEvent(QPaintEvent* event) {
    if (refreshStatus_) refreshStatus_();
    if (!picture_.isNull()) {
        QPainter painter(this);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawPixmap(contentsRect(), picture_);  // stretched: fills the area at any size and aspect
    }
    QFrame::paintEvent(event);
}

}  // namespace velora
