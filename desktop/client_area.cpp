#include "desktop/client_area.h"

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
        // Stretched to fill the area at any size and aspect; scaled once per
        // size, since a run repaints the area after every block.
        const QRect area = contentsRect();
        if (stretched_.size() != area.size())
            stretched_ = picture_.scaled(area.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        QPainter painter(this);
        painter.drawPixmap(area.topLeft(), stretched_);
    }
    QFrame::paintEvent(event);
}

}  // namespace velora
