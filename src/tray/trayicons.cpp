#include "tray/trayicons.h"

#include "dialogs/paintedicon.h"

#include <QPainter>
#include <QPainterPath>

namespace jw {

namespace {

struct Look
{
    QColor shield;
    QColor rim;
    QColor cross;
    bool envelope;
};

Look lookOf(int state)
{
    const QColor cross(0xe8, 0x3f, 0x1c);
    const QColor orange(0xf5, 0xa0, 0x23);
    const QColor orangeRim(0xa8, 0x5a, 0x06);
    switch (state) {
    case 1:
        return {orange, orangeRim, cross, false};
    case 2:
        return {orange, orangeRim, cross, true};
    case 3:
        return {QColor(0xb4, 0xb4, 0xb4), QColor(0x6e, 0x6e, 0x6e), QColor(0x80, 0x80, 0x80), false};
    default:
        return {QColor(0x2f, 0x6e, 0xc8), QColor(0x17, 0x3c, 0x78), cross, false};
    }
}

// Paints in a 32 x 31 design box.
void paintEmblem(QPainter &p, int state)
{
    const Look look = lookOf(state);

    QPainterPath shield;
    shield.moveTo(16, 1);
    shield.cubicTo(20, 3.5, 25, 4.5, 29, 4.5);
    shield.cubicTo(29, 17, 24.5, 25.5, 16, 30);
    shield.cubicTo(7.5, 25.5, 3, 17, 3, 4.5);
    shield.cubicTo(7, 4.5, 12, 3.5, 16, 1);
    shield.closeSubpath();

    QLinearGradient fill(0, 0, 32, 31);
    fill.setColorAt(0, look.shield.lighter(130));
    fill.setColorAt(1, look.shield);
    p.setPen(QPen(look.rim, 1.4));
    p.setBrush(fill);
    p.drawPath(shield);

    // The large cross, clipped to the shield.
    p.setClipPath(shield);
    p.setPen(Qt::NoPen);
    p.setBrush(look.cross);
    p.drawRect(QRectF(12.5, 1, 7, 30));
    p.drawRect(QRectF(2, 9.5, 28, 7));
    p.setClipping(false);

    if (look.envelope) {
        const QRectF env(6.5, 10, 19, 13);
        p.setPen(QPen(QColor(0x55, 0x55, 0x55), 1.0));
        p.setBrush(Qt::white);
        p.drawRect(env);
        QPainterPath flap;
        flap.moveTo(env.topLeft());
        flap.lineTo(env.center().x(), env.top() + 7.5);
        flap.lineTo(env.topRight());
        p.setBrush(Qt::NoBrush);
        p.drawPath(flap);
    }
}

} // namespace

QIcon trayStateIcon(int state)
{
    return paintedIcon(QSizeF(32, 31), [state](QPainter &p) { paintEmblem(p, state); });
}

QIcon emblemIcon()
{
    return trayStateIcon(1);
}

} // namespace jw
