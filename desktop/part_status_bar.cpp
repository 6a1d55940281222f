#include "desktop/part_status_bar.h"

#include <qdrawutil.h>
#include <QPainter>
#include <QProgressBar>

namespace velora {

PartStatusBar::PartStatusBar(QWidget* parent) : QWidget(parent), progress_(new QProgressBar(this)) {
    setObjectName(QStringLiteral("statusBar"));
    progress_->setObjectName(QStringLiteral("progressBar"));
    progress_->setRange(0, 100);
    progress_->setValue(0);
    progress_->setTextVisible(true);
    progress_->setFormat(QString());
    progress_->setAlignment(Qt::AlignCenter);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    // The parts are measured in characters of the window's font; their texts
    // are set a point smaller, as status bars usually are, so they fit.
    QFont small = font();
    if (small.pointSizeF() > 8) small.setPointSizeF(small.pointSizeF() - 1);
    setFont(small);
}

QSize PartStatusBar::sizeHint() const {
    return {200, fontMetrics().height() + 8};
}

void PartStatusBar::setEdges(const StatusPartEdges& edges) {
    edges_ = edges;
    placeProgressBar();
    update();
}

void PartStatusBar::setPartText(int part, const std::string& text) {
    if (part < 0 || part >= static_cast<int>(texts_.size())) return;
    const QString value = QString::fromStdString(text);
    if (texts_[static_cast<std::size_t>(part)] == value) return;
    texts_[static_cast<std::size_t>(part)] = value;
    update(partRect(part));
}

void PartStatusBar::setProgressText(const std::string& text) {
    const QString value = QString::fromStdString(text);
    if (progress_->format() != value) progress_->setFormat(value);
}

QString PartStatusBar::progressText() const {
    return progress_->format();
}

QString PartStatusBar::partText(int part) const {
    if (part < 0 || part >= static_cast<int>(texts_.size())) return {};
    return texts_[static_cast<std::size_t>(part)];
}

QRect PartStatusBar::partRect(int part) const {
    const PartRect r = statusPartRect(edges_, part, width(), height());
    return {r.x, r.y, r.width, r.height};
}

void PartStatusBar::resizeEvent(QResizeEvent*) {
    placeProgressBar();
}

void PartStatusBar::placeProgressBar() {
    const PartRect r = progressBarRect(width(), height(), edges_.progressLeft());
    progress_->setGeometry(r.x, r.y, r.width, r.height);
}

void PartStatusBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    for (int part = 0; part < kStatusParts; ++part) {
        const QRect box = partRect(part).adjusted(1, 1, -1, -1);
        if (box.width() <= 0) continue;
        qDrawShadePanel(&painter, box, palette(), true, 1);
        if (part >= static_cast<int>(texts_.size())) continue;
        const ShownStatusText shown = shownStatusText(texts_[static_cast<std::size_t>(part)].toStdString());
        const QRect inside = box.adjusted(2, 1, -2, -1);
        const QString line =
            fontMetrics().elidedText(QString::fromStdString(shown.text), Qt::ElideRight, inside.width());
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(inside, (shown.centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter, line);
    }
}

}  // namespace velora
