#include "dialogs/clicklabel.h"

#include <QMouseEvent>

namespace jw {

void ClickLabel::mousePressEvent(QMouseEvent *event)
{
    Q_EMIT pressed(event->button(), event->modifiers());
    QLabel::mousePressEvent(event);
}

void ClickLabel::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Q_EMIT clicked();
    QLabel::mouseReleaseEvent(event);
}

void setLabelColor(QLabel *label, const QColor &color)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

void styleAsLink(QLabel *label)
{
    QFont font = label->font();
    font.setUnderline(true);
    label->setFont(font);
    setLabelColor(label, Qt::blue);
    label->setCursor(Qt::PointingHandCursor);
}

} // namespace jw
