#include "send/ui/SendPictures.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace SendPictures {
namespace {

constexpr int Size = 24;

const QColor Grey(150, 150, 150);
const QColor Green(30, 150, 60);
const QColor Amber(220, 150, 20);
const QColor Red(200, 40, 40);

QPixmap blank() {
    QPixmap pixmap(Size, Size);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

QPixmap arrow(const QColor& colour) {
    QPixmap pixmap = blank();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.moveTo(6, 4);
    path.lineTo(20, 12);
    path.lineTo(6, 20);
    path.closeSubpath();
    p.fillPath(path, colour);
    return pixmap;
}

QPixmap bars(const QColor& colour) {
    QPixmap pixmap = blank();
    QPainter p(&pixmap);
    p.fillRect(QRect(6, 4, 4, 16), colour);
    p.fillRect(QRect(14, 4, 4, 16), colour);
    return pixmap;
}

QPixmap square(const QColor& colour) {
    QPixmap pixmap = blank();
    QPainter p(&pixmap);
    p.fillRect(QRect(5, 5, 14, 14), colour);
    return pixmap;
}

QPixmap tick() {
    QPixmap pixmap = blank();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Green, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({QPointF(5, 13), QPointF(10, 18), QPointF(19, 6)}));
    return pixmap;
}

QPixmap cross() {
    QPixmap pixmap = blank();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Red, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(6, 6), QPointF(18, 18));
    p.drawLine(QPointF(18, 6), QPointF(6, 18));
    return pixmap;
}

QPixmap draw(const QString& name) {
    if (name == QLatin1String("send_on"))
        return arrow(Green);
    if (name == QLatin1String("send_off"))
        return arrow(Grey);
    if (name == QLatin1String("send_pause"))
        return arrow(Amber);
    if (name == QLatin1String("pause_on"))
        return bars(Amber);
    if (name == QLatin1String("pause_off"))
        return bars(Grey);
    if (name == QLatin1String("stop_on"))
        return square(Red);
    if (name == QLatin1String("stop_off"))
        return square(Grey);
    if (name == QLatin1String("Ok"))
        return tick();
    if (name == QLatin1String("Fail"))
        return cross();
    return {};
}

} // namespace

QIcon picture(const QString& name) {
    static QHash<QString, QIcon> drawn;
    auto found = drawn.constFind(name);
    if (found == drawn.cend())
        found = drawn.insert(name, QIcon(draw(name)));
    return *found;
}

QPixmap animationFrame(int frame) {
    // Eight dots on a circle, the lit one moving round.
    QPixmap pixmap = blank();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const int lit = ((frame % AnimationFrames) + AnimationFrames) % AnimationFrames;
    for (int i = 0; i < AnimationFrames; ++i) {
        const qreal angle = 2 * M_PI * i / AnimationFrames;
        p.setBrush(i == lit ? Green : QColor(200, 200, 200));
        p.drawEllipse(QPointF(12 + 8 * qCos(angle), 12 + 8 * qSin(angle)), 2.2, 2.2);
    }
    return pixmap;
}

} // namespace SendPictures
