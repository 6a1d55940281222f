#include "desktop/part_status_bar.h"

#include <qdrawutil.h>

#include <QPaintEvent>
#include <QPainter>
#include <QProgressBar>
#include <algorithm>

namespace velora {

namespace {

// The progress bar drawn as the text parts beside it are: a sunken panel, the
// part done filled in the highlight colour, the text centred over both. The
// style's own bar (gradients, rounded corners) cost most of the program's
// processor time during a transfer, for a bar that changes its text about
// twice a second.
class PanelProgressBar : public QProgressBar {
  public:
    explicit PanelProgressBar(QWidget* parent) : QProgressBar(parent) {
        setAttribute(Qt::WA_OpaquePaintEvent);  // the status bar underneath is not painted again
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QRect box = rect();
        const QPalette& colours = palette();
        painter.fillRect(box, colours.color(QPalette::Window));
        // The sunken edge as plain fills: the same look as the parts' panels
        // at a small part of the cost of drawing them as lines.
        const QRect edge = box.adjusted(1, 1, -1, -1);
        painter.fillRect(edge.left(), edge.top(), edge.width(), 1, colours.color(QPalette::Dark));
        painter.fillRect(edge.left(), edge.top(), 1, edge.height(), colours.color(QPalette::Dark));
        painter.fillRect(edge.left(), edge.bottom(), edge.width(), 1, colours.color(QPalette::Light));
        painter.fillRect(edge.right(), edge.top(), 1, edge.height(), colours.color(QPalette::Light));

        const QRect inside = box.adjusted(2, 2, -2, -2);
        const int span = std::max(1, maximum() - minimum());
        const int filled = static_cast<int>(static_cast<long long>(inside.width()) *
                                            std::clamp(value() - minimum(), 0, span) / span);
        const QRect done(inside.left(), inside.top(), filled, inside.height());
        painter.fillRect(done, colours.color(QPalette::Highlight));

        const QString shown = text();
        if (shown != lastText_ || inside.width() != lastWidth_) {
            lastText_ = shown;
            lastWidth_ = inside.width();
            elided_ = fontMetrics().elidedText(shown, Qt::ElideRight, inside.width() - 4);
            textWidth_ = fontMetrics().horizontalAdvance(elided_);
        }
        if (elided_.isEmpty()) return;
        // The text over the part done is drawn a second time, in the
        // highlight's text colour, only when the part done reaches it.
        const int textLeft = inside.left() + (inside.width() - textWidth_) / 2;
        painter.setClipRect(inside.adjusted(filled, 0, 0, 0));
        painter.setPen(colours.color(QPalette::WindowText));
        painter.drawText(inside, Qt::AlignCenter, elided_);
        if (done.right() < textLeft) return;
        painter.setClipRect(done);
        painter.setPen(colours.color(QPalette::HighlightedText));
        painter.drawText(inside, Qt::AlignCenter, elided_);
    }

  private:
    QString lastText_;
    int lastWidth_ = -1;
    QString elided_;
    int textWidth_ = 0;
};

}  // namespace

PartStatusBar::PartStatusBar(QWidget* parent) : QWidget(parent), progress_(new PanelProgressBar(this)) {
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

void PartStatusBar::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    for (int part = 0; part < kStatusParts; ++part) {
        const QRect box = partRect(part).adjusted(1, 1, -1, -1);
        if (box.width() <= 0 || !event->rect().intersects(partRect(part))) continue;
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
