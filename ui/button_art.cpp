#include "ui/button_art.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace {

const QColor kPictureBackground(224, 223, 227);

QImage blankPicture()
{
    QImage image(46, 32, QImage::Format_RGB888);
    image.fill(kPictureBackground);
    return image;
}

// One arrow along a circular arc from startDeg, sweeping spanDeg (counter-clockwise
// positive), with its head at the end of the arc.
void drawArcArrow(QPainter& p, QPointF centre, qreal radius, qreal startDeg, qreal spanDeg, const QColor& fill,
                  const QColor& outline)
{
    const QRectF box(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
    QPen pen(outline, 5.0, Qt::SolidLine, Qt::FlatCap);
    p.setPen(pen);
    p.drawArc(box, int(startDeg * 16), int(spanDeg * 16));
    pen.setColor(fill);
    pen.setWidthF(3.0);
    p.setPen(pen);
    p.drawArc(box, int(startDeg * 16), int(spanDeg * 16));

    const qreal end = qDegreesToRadians(startDeg + spanDeg);
    const QPointF tip(centre.x() + radius * qCos(end), centre.y() - radius * qSin(end));
    // Tangent in the direction of travel.
    const qreal dir = spanDeg > 0 ? 1.0 : -1.0;
    const QPointF tangent(-qSin(end) * dir, -qCos(end) * dir);
    const QPointF normal(qCos(end), -qSin(end));
    QPolygonF head;
    head << tip + tangent * 5.0 << tip + normal * 5.0 << tip - normal * 5.0;
    p.setPen(QPen(outline, 1.0));
    p.setBrush(fill);
    p.drawPolygon(head);
}

} // namespace

QImage executePicture()
{
    QImage image = blankPicture();
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(23, 16);
    const QColor green(40, 160, 40);
    const QColor darkGreen(0, 90, 0);
    drawArcArrow(p, centre, 11, 20, 140, green, darkGreen);
    drawArcArrow(p, centre, 11, 200, 140, green, darkGreen);
    return image;
}

QImage cancelPicture()
{
    QImage image = blankPicture();
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor red(210, 30, 30);
    const QColor darkRed(120, 0, 0);
    for (const auto& [pen, width] : {std::pair{darkRed, 7.0}, std::pair{red, 5.0}}) {
        p.setPen(QPen(pen, width, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(14, 6), QPointF(32, 26));
        p.drawLine(QPointF(32, 6), QPointF(14, 26));
    }
    return image;
}

QImage applicationIconImage()
{
    QImage image(48, 48, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // A ledger page with a green posting arrow over it.
    p.setPen(QPen(QColor(60, 60, 90), 1.5));
    p.setBrush(QColor(250, 250, 240));
    p.drawRoundedRect(QRectF(6, 4, 30, 40), 3, 3);
    p.setPen(QPen(QColor(120, 140, 200), 1.0));
    for (int y = 12; y <= 36; y += 6)
        p.drawLine(QPointF(10, y), QPointF(32, y));
    drawArcArrow(p, QPointF(32, 32), 10, 200, 230, QColor(40, 160, 40), QColor(0, 90, 0));
    return image;
}
