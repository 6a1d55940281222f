// The picture behind the client area: a lighting rig over a stage, drawn in
// code so the program carries no image files. It is drawn once and then
// stretched to whatever size the client area has.

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <array>

#include "desktop/client_area.h"

namespace velora {

namespace {

constexpr int kWidth = 1000;
constexpr int kHeight = 700;
constexpr int kTrussY = 70;

struct Beam {
    double x;     // fixture position across the truss, 0..1
    double aimX;  // where the beam lands, 0..1
    QColor colour;
};

void drawSky(QPainter& p) {
    QLinearGradient sky(0, 0, 0, kHeight);
    sky.setColorAt(0.0, QColor(241, 245, 247));
    sky.setColorAt(0.55, QColor(214, 226, 236));
    sky.setColorAt(1.0, QColor(160, 183, 204));
    p.fillRect(0, 0, kWidth, kHeight, sky);
}

void drawFloor(QPainter& p) {
    QRadialGradient glow(kWidth / 2.0, kHeight + 60, kWidth * 0.6);
    glow.setColorAt(0.0, QColor(255, 255, 255, 120));
    glow.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.fillRect(0, kHeight / 2, kWidth, kHeight / 2, glow);
}

void drawBeam(QPainter& p, const Beam& beam) {
    const QPointF source(beam.x * kWidth, kTrussY + 26);
    const QPointF target(beam.aimX * kWidth, kHeight - 40);
    const double spread = 70;
    QPainterPath cone;
    cone.moveTo(source + QPointF(-7, 0));
    cone.lineTo(source + QPointF(7, 0));
    cone.lineTo(target + QPointF(spread, 0));
    cone.lineTo(target + QPointF(-spread, 0));
    cone.closeSubpath();

    QLinearGradient light(source, target);
    QColor strong = beam.colour;
    strong.setAlpha(120);
    QColor faint = beam.colour;
    faint.setAlpha(10);
    light.setColorAt(0.0, strong);
    light.setColorAt(1.0, faint);
    p.setPen(Qt::NoPen);
    p.setBrush(light);
    p.drawPath(cone);

    QRadialGradient pool(target, spread * 1.1);
    QColor pooled = beam.colour;
    pooled.setAlpha(70);
    pool.setColorAt(0.0, pooled);
    pool.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.setBrush(pool);
    p.drawEllipse(target, spread * 1.1, spread * 0.28);
}

void drawTruss(QPainter& p, const std::array<Beam, 6>& beams) {
    p.setPen(QPen(QColor(70, 84, 100), 3));
    p.drawLine(QPointF(40, kTrussY), QPointF(kWidth - 40, kTrussY));
    p.drawLine(QPointF(40, kTrussY + 12), QPointF(kWidth - 40, kTrussY + 12));
    p.setPen(QPen(QColor(70, 84, 100), 1.5));
    for (int x = 40; x + 24 <= kWidth - 40; x += 24) {
        p.drawLine(QPointF(x, kTrussY), QPointF(x + 12, kTrussY + 12));
        p.drawLine(QPointF(x + 12, kTrussY + 12), QPointF(x + 24, kTrussY));
    }
    p.setPen(Qt::NoPen);
    for (const Beam& beam : beams) {
        const double x = beam.x * kWidth;
        p.setBrush(QColor(52, 62, 74));
        p.drawRoundedRect(QRectF(x - 13, kTrussY + 8, 26, 20), 5, 5);
        p.setBrush(beam.colour.lighter(130));
        p.drawEllipse(QPointF(x, kTrussY + 25), 7, 3);
    }
}

void drawName(QPainter& p) {
    QFont big(QStringLiteral("DejaVu Sans"));
    big.setPixelSize(64);
    big.setBold(true);
    QFont small(big);
    small.setPixelSize(22);
    small.setBold(false);

    const QRectF nameBox(0, kHeight - 190, kWidth - 50, 80);
    const QRectF lineBox(0, kHeight - 112, kWidth - 52, 30);
    p.setFont(big);
    p.setPen(QColor(40, 52, 66, 60));
    p.drawText(nameBox.translated(2, 3), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("Velora Tarvane"));
    p.setPen(QColor(255, 255, 255, 225));
    p.drawText(nameBox, Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("Velora Tarvane"));
    p.setFont(small);
    p.setPen(QColor(44, 60, 78, 200));
    p.drawText(lineBox, Qt::AlignRight | Qt::AlignVCenter,
               QStringLiteral("Kq318 DMX controller \u2022 PC link"));
}

}  // namespace

QPixmap drawBackgroundPicture() {
    const std::array<Beam, 6> beams{{
        {0.16, 0.30, QColor(255, 170, 60)},
        {0.30, 0.18, QColor(235, 70, 170)},
        {0.44, 0.52, QColor(60, 200, 235)},
        {0.58, 0.40, QColor(255, 236, 190)},
        {0.72, 0.84, QColor(120, 220, 110)},
        {0.86, 0.68, QColor(150, 110, 240)},
    }};
    QPixmap picture(kWidth, kHeight);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    drawSky(p);
    drawFloor(p);
    for (const Beam& beam : beams) drawBeam(p, beam);
    drawTruss(p, beams);
    drawName(p);
    return picture;
}

}  // namespace velora
