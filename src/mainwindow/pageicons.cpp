#include "mainwindow/pageicons.h"

#include "dialogs/paintedicon.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace jw {

namespace {

const QColor kInk(0x33, 0x33, 0x33);
const QColor kRed(0xe0, 0x30, 0x20);

// Each picture is drawn in an 80 x 55 box.
void strainer(QPainter &p)
{
    p.setPen(QPen(kInk, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(58, 22), QPointF(76, 10)); // handle
    QPainterPath bowl;
    bowl.moveTo(10, 20);
    bowl.lineTo(60, 20);
    bowl.arcTo(QRectF(10, -5, 50, 50), 0, -180);
    p.setBrush(QColor(0xc8, 0xd2, 0xdc));
    p.setPen(QPen(kInk, 2));
    p.drawPath(bowl);
    p.setPen(QPen(kInk, 1.2));
    for (int x = 18; x <= 52; x += 6)
        p.drawLine(QPointF(x, 22), QPointF(x, 20 + 18 * qSin(qAcos((x - 35.0) / 25.0))));
    p.setBrush(QColor(0x4a, 0x90, 0xd9));
    p.setPen(Qt::NoPen);
    for (const QPointF &drop : {QPointF(28, 49), QPointF(36, 52), QPointF(44, 48)})
        p.drawEllipse(drop, 1.8, 2.4);
}

void bedWithCross(QPainter &p)
{
    p.setPen(QPen(kInk, 2.5));
    p.drawLine(QPointF(8, 14), QPointF(8, 50)); // head board
    p.drawLine(QPointF(72, 32), QPointF(72, 50)); // foot board
    p.setBrush(QColor(0xf2, 0xf2, 0xf2));
    p.drawRoundedRect(QRectF(8, 34, 64, 8), 2, 2); // mattress
    p.setBrush(QColor(0xa8, 0xc8, 0xf0));
    p.drawRoundedRect(QRectF(11, 27, 14, 8), 3, 3); // pillow
    p.setBrush(QColor(0x8c, 0xb4, 0xe6));
    p.drawRoundedRect(QRectF(26, 28, 44, 8), 3, 3); // blanket
    p.setPen(Qt::NoPen);
    p.setBrush(kRed);
    p.drawRect(QRectF(48, 3, 8, 22));
    p.drawRect(QRectF(41, 10, 22, 8));
}

void personsWithBalloons(QPainter &p)
{
    auto person = [&p](qreal x, const QColor &colour) {
        p.setPen(QPen(kInk, 1.5));
        p.setBrush(colour);
        p.drawEllipse(QPointF(x, 30), 6, 6);
        QPainterPath body;
        body.moveTo(x - 11, 54);
        body.quadTo(x - 11, 38, x, 38);
        body.quadTo(x + 11, 38, x + 11, 54);
        body.closeSubpath();
        p.drawPath(body);
    };
    auto balloon = [&p](const QRectF &box, qreal tailX, qreal tailTo) {
        QPainterPath path;
        path.addRoundedRect(box, 5, 5);
        QPainterPath tail;
        tail.moveTo(tailX - 3, box.bottom() - 1);
        tail.lineTo(tailTo, box.bottom() + 7);
        tail.lineTo(tailX + 3, box.bottom() - 1);
        tail.closeSubpath();
        p.setPen(QPen(kInk, 1.5));
        p.setBrush(Qt::white);
        p.drawPath(path.united(tail));
        p.setPen(QPen(kInk.lighter(160), 1.5));
        for (qreal y = box.top() + 5; y < box.bottom() - 2; y += 4)
            p.drawLine(QPointF(box.left() + 4, y), QPointF(box.right() - 4, y));
    };
    person(22, QColor(0xf5, 0xa0, 0x23));
    person(58, QColor(0x4a, 0x90, 0xd9));
    balloon(QRectF(2, 2, 32, 16), 18, 21);
    balloon(QRectF(44, 4, 34, 16), 62, 58);
}

void checkList(QPainter &p)
{
    p.setPen(QPen(kInk, 1.5));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(18, 2, 44, 51));
    for (int i = 0; i < 4; ++i) {
        const qreal y = 9 + i * 11;
        p.setPen(QPen(kInk, 1.2));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(23, y, 7, 7));
        p.setPen(QPen(kInk.lighter(170), 2));
        p.drawLine(QPointF(34, y + 3.5), QPointF(57, y + 3.5));
        if (i != 2) {
            p.setPen(QPen(QColor(0x2e, 0x9e, 0x3c), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            QPainterPath tick;
            tick.moveTo(24, y + 3.5);
            tick.lineTo(26.5, y + 6);
            tick.lineTo(31, y - 1);
            p.drawPath(tick);
        }
    }
}

void gearWheel(QPainter &p)
{
    const QPointF c(40, 27.5);
    QPainterPath gear;
    const int teeth = 10;
    for (int i = 0; i < teeth * 2; ++i) {
        const qreal r = (i % 2 == 0) ? 25 : 19;
        const qreal a0 = (i - 0.35) * M_PI / teeth;
        const qreal a1 = (i + 0.35) * M_PI / teeth;
        const QPointF p0(c.x() + r * qCos(a0), c.y() + r * qSin(a0));
        const QPointF p1(c.x() + r * qCos(a1), c.y() + r * qSin(a1));
        if (i == 0)
            gear.moveTo(p0);
        else
            gear.lineTo(p0);
        gear.lineTo(p1);
    }
    gear.closeSubpath();
    QPainterPath hole;
    hole.addEllipse(c, 8, 8);
    p.setPen(QPen(kInk, 1.5));
    p.setBrush(QColor(0x9a, 0xa4, 0xb0));
    p.drawPath(gear.subtracted(hole));
}

void questionMark(QPainter &p, bool highlighted)
{
    QRadialGradient fill(QPointF(17, 15), 24);
    fill.setColorAt(0, highlighted ? QColor(0x8c, 0xc8, 0xff) : QColor(0x5a, 0x9c, 0xe6));
    fill.setColorAt(1, highlighted ? QColor(0x2a, 0x78, 0xe0) : QColor(0x1c, 0x4f, 0xa8));
    p.setPen(QPen(highlighted ? QColor(0xff, 0xc8, 0x30) : QColor(0x12, 0x34, 0x70), 2));
    p.setBrush(fill);
    p.drawEllipse(QRectF(2, 2, 38, 38));
    QFont font;
    font.setBold(true);
    font.setPixelSize(28);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRectF(2, 2, 38, 38), Qt::AlignCenter, QStringLiteral("?"));
}

} // namespace

QIcon pageIcon(int page)
{
    static const std::function<void(QPainter &)> painters[] = {
        strainer, bedWithCross, personsWithBalloons, checkList, gearWheel};
    if (page < 0 || page > 4)
        return QIcon();
    // Kept for the whole run (never destroyed, as icons must not outlive the application object).
    static QIcon *const icons = new QIcon[5];
    if (icons[page].isNull())
        icons[page] = paintedIcon(QSizeF(80, 55), painters[page]);
    return icons[page];
}

QIcon helpIcon(bool highlighted)
{
    static QIcon *const icons = new QIcon[2];
    QIcon &icon = icons[highlighted ? 1 : 0];
    if (icon.isNull())
        icon = paintedIcon(QSizeF(42, 42), [highlighted](QPainter &p) { questionMark(p, highlighted); });
    return icon;
}

QIcon standardIcon(QStyle::StandardPixmap which)
{
    static auto *const icons = new QHash<int, QIcon>;
    auto it = icons->find(int(which));
    if (it == icons->end())
        it = icons->insert(int(which), QApplication::style()->standardIcon(which));
    return *it;
}

} // namespace jw
