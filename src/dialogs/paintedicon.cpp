#include "dialogs/paintedicon.h"

#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>

namespace jw {

namespace {

class PaintedIconEngine final : public QIconEngine
{
public:
    PaintedIconEngine(QSizeF designSize, IconPainter paint)
        : m_size(designSize)
        , m_paint(std::move(paint))
    {
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State) override
    {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        const qreal scale = qMin(rect.width() / m_size.width(), rect.height() / m_size.height());
        painter->translate(rect.center().x() + 0.5 - m_size.width() * scale / 2,
            rect.center().y() + 0.5 - m_size.height() * scale / 2);
        painter->scale(scale, scale);
        if (mode == QIcon::Disabled)
            painter->setOpacity(0.4);
        m_paint(*painter);
        painter->restore();
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        // Drawn once per size and look: windows ask again each time they open.
        const quint64 key =
            (quint64(quint32(size.width())) << 32 | quint32(size.height())) * 8 + quint64(mode) * 2 + quint64(state);
        if (const auto hit = m_drawn.constFind(key); hit != m_drawn.constEnd())
            return *hit;
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        {
            QPainter painter(&pixmap);
            paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        }
        if (m_drawn.size() < 32)
            m_drawn.insert(key, pixmap);
        return pixmap;
    }

    QIconEngine *clone() const override { return new PaintedIconEngine(m_size, m_paint); }

    // Notification areas and styles pick from the listed sizes.
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        QList<QSize> sizes;
        for (const int side : {16, 22, 24, 32, 48, 64, 128}) {
            const qreal scale = side / qMax(m_size.width(), m_size.height());
            sizes.append(QSize(qRound(m_size.width() * scale), qRound(m_size.height() * scale)));
        }
        return sizes;
    }

private:
    QSizeF m_size;
    IconPainter m_paint;
    QHash<quint64, QPixmap> m_drawn;
};

} // namespace

QIcon paintedIcon(QSizeF designSize, IconPainter paint)
{
    return QIcon(new PaintedIconEngine(designSize, std::move(paint)));
}

} // namespace jw
