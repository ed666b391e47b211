#include "mainwindow/safebrowser.h"

#include <QImage>
#include <QMouseEvent>
#include <QTextDocument>

namespace jw {

SafeTextBrowser::SafeTextBrowser(QWidget *parent)
    : QTextBrowser(parent)
{
    setOpenLinks(false);
    setOpenExternalLinks(false);
}

QVariant SafeTextBrowser::loadResource(int type, const QUrl &)
{
    ++m_refused;
    if (type == QTextDocument::ImageResource) {
        static const QImage blank = [] {
            QImage image(1, 1, QImage::Format_ARGB32);
            image.fill(Qt::transparent);
            return image;
        }();
        return blank;
    }
    // Never the base class: it would read local files.
    return QString(QLatin1Char(' '));
}

void SafeTextBrowser::mouseMoveEvent(QMouseEvent *event)
{
    QTextBrowser::mouseMoveEvent(event);
    const QString target = anchorAt(event->position().toPoint());
    if (target != m_hovered) {
        m_hovered = target;
        viewport()->setCursor(target.isEmpty() ? Qt::IBeamCursor : Qt::PointingHandCursor);
        Q_EMIT linkHovered(target);
    }
}

void SafeTextBrowser::mouseReleaseEvent(QMouseEvent *event)
{
    const QString target = event->button() == Qt::LeftButton ? anchorAt(event->position().toPoint()) : QString();
    // A click that ends a text selection is not a link click.
    if (!target.isEmpty() && !textCursor().hasSelection()) {
        Q_EMIT linkClicked(target);
        return;
    }
    QTextBrowser::mouseReleaseEvent(event);
}

} // namespace jw
