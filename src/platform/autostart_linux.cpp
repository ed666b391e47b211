#include "platform/autostart.h"
#include "textfile/lines.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace jw {

namespace {

// Quotes a path for the Exec key of a desktop entry: inside double quotes,
// the characters ", `, $ and \ are escaped with a backslash, and the
// backslash itself is doubled again by the entry's own string escaping.
QString quotedExec(const QString &path)
{
    QString quoted;
    for (const QChar c : path) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

class DesktopEntryAutostart final : public Autostart
{
public:
    explicit DesktopEntryAutostart(QString folder)
        : m_folder(std::move(folder))
    {
    }

    bool isEnabled() const override
    {
        QFile file(path());
        if (!file.open(QIODevice::ReadOnly))
            return false;
        for (const QByteArray &line : splitLines(file.readAll(), LineRule::AnyBreak)) {
            if (line.trimmed().replace(' ', "").toLower() == "hidden=true")
                return false;
        }
        return true;
    }

    void enable(const QString &executable) override
    {
        QDir().mkpath(m_folder);
        const QString entry = QStringLiteral("[Desktop Entry]\n"
                                             "Type=Application\n"
                                             "Name=Junkwarden\n"
                                             "Comment=POP3 spam filter\n"
                                             "Icon=junkwarden\n"
                                             "Exec=%1 /tray\n"
                                             "Terminal=false\n"
                                             "X-GNOME-Autostart-enabled=true\n")
                                  .arg(quotedExec(executable));
        writeFileAtomically(path(), entry.toUtf8());
    }

    void disable() override { QFile::remove(path()); }

private:
    QString path() const { return m_folder + QStringLiteral("/junkwarden.desktop"); }

    QString m_folder;
};

} // namespace

std::unique_ptr<Autostart> createSystemAutostart(const QString &folder)
{
    return std::make_unique<DesktopEntryAutostart>(folder.isEmpty()
            ? QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/autostart")
            : folder);
}

} // namespace jw
