#include "dialogs/widgetprompts.h"

#include "dialogs/potwierdzform.h"
#include "settings/languagetable.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QMessageBox>

#include <cstdio>
#include <utility>

namespace jw {

WidgetPrompts::WidgetPrompts(QString applicationTitle)
    : m_title(std::move(applicationTitle))
{
}

void WidgetPrompts::information(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, m_title, text, QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void WidgetPrompts::error(const QString &text)
{
    QMessageBox box(QMessageBox::Critical, m_title, text, QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void WidgetPrompts::notify(const QString &text)
{
    std::fprintf(stderr, "%s: %s\n", qUtf8Printable(m_title), qUtf8Printable(text));
    // The notification server keeps the message after this process is gone;
    // the call is bounded so that an absent or stuck server delays nothing
    // for long.
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage notification = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"), QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("Notify"));
    notification << m_title << quint32(0) << QStringLiteral("dialog-warning") << m_title << text << QStringList()
                 << QVariantMap() << qint32(-1);
    bus.call(notification, QDBus::Block, 1000);
}

bool WidgetPrompts::question(const QString &text, const QString &caption)
{
    static const LanguageTable noTexts;
    return TPotwierdzForm::ask(m_language ? *m_language : noTexts, caption, text);
}

} // namespace jw
