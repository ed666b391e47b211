#include "mainwindow/safebrowser.h"

#include <QImage>
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

} // namespace jw
