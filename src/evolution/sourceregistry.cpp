#include "evolution/sourceregistry.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDir>
#include <QRegularExpression>
#include <QVariantMap>

namespace jw::evolution {

namespace {

const QString kManagerPath = QStringLiteral("/org/gnome/evolution/dataserver/SourceManager");
const QString kSourceInterface = QStringLiteral("org.gnome.evolution.dataserver.Source");
const QString kWritableInterface = QStringLiteral("org.gnome.evolution.dataserver.Source.Writable");
// Long enough for the registry to be started by the bus on first use.
constexpr int kCallTimeoutMs = 15000;

QString replyProblem(const QDBusMessage &reply)
{
    return reply.errorName() + QLatin1String(": ") + reply.errorMessage();
}

} // namespace

QStringList sessionServiceFolders()
{
    QStringList folders;
    const QString dataHome = qEnvironmentVariable("XDG_DATA_HOME", QDir::homePath() + QLatin1String("/.local/share"));
    folders.append(dataHome + QLatin1String("/dbus-1/services"));
    const QString dataDirs = qEnvironmentVariable("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share"));
    for (const QString &dir : dataDirs.split(QLatin1Char(':'), Qt::SkipEmptyParts))
        folders.append(dir + QLatin1String("/dbus-1/services"));
    return folders;
}

std::optional<QString> registryServiceName(const QStringList &serviceFolders)
{
    static const QRegularExpression name(
        QStringLiteral(R"(^(org\.gnome\.evolution\.dataserver\.Sources)(\d{1,4})\.service$)"));
    int best = -1;
    QString found;
    for (const QString &folder : serviceFolders) {
        for (const QString &file : QDir(folder).entryList({QStringLiteral("*.service")}, QDir::Files)) {
            const QRegularExpressionMatch match = name.match(file);
            if (match.hasMatch() && match.captured(2).toInt() > best) {
                best = match.captured(2).toInt();
                found = match.captured(1) + match.captured(2);
            }
        }
    }
    if (best < 0)
        return std::nullopt;
    return found;
}

SourceRegistry::SourceRegistry(QString serviceName)
    : m_service(std::move(serviceName))
{
}

std::optional<QList<Source>> SourceRegistry::sources(QString *problem) const
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        *problem = QStringLiteral("there is no session bus");
        return std::nullopt;
    }
    const QDBusMessage call = QDBusMessage::createMethodCall(m_service, kManagerPath,
        QStringLiteral("org.freedesktop.DBus.ObjectManager"), QStringLiteral("GetManagedObjects"));
    const QDBusMessage reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1
        || reply.signature() != QLatin1String("a{oa{sa{sv}}}")) {
        *problem = reply.type() == QDBusMessage::ErrorMessage
            ? replyProblem(reply)
            : QStringLiteral("the account registry gave an odd answer");
        return std::nullopt;
    }
    QList<Source> sources;
    const QDBusArgument objects = reply.arguments().at(0).value<QDBusArgument>();
    objects.beginMap();
    while (!objects.atEnd()) {
        Source source;
        QDBusObjectPath path;
        objects.beginMapEntry();
        objects >> path;
        source.objectPath = path.path();
        objects.beginMap();
        while (!objects.atEnd()) {
            QString interface;
            QVariantMap properties;
            objects.beginMapEntry();
            objects >> interface >> properties;
            objects.endMapEntry();
            if (interface == kSourceInterface) {
                source.uid = properties.value(QStringLiteral("UID")).toString();
                source.data = properties.value(QStringLiteral("Data")).toString().toUtf8();
            } else if (interface == kWritableInterface) {
                source.writable = true;
            }
        }
        objects.endMap();
        objects.endMapEntry();
        if (!source.uid.isEmpty())
            sources.append(source);
    }
    objects.endMap();
    return sources;
}

bool SourceRegistry::write(const QString &objectPath, const QByteArray &data, QString *problem) const
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(m_service, objectPath, kWritableInterface, QStringLiteral("Write"));
    call << QString::fromUtf8(data);
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return true;
    *problem = replyProblem(reply);
    return false;
}

std::optional<Pop3Account> pop3Account(const Source &source)
{
    const KeyFileText file(source.data);
    const auto text = [&file](const char *group, const char *key) {
        return file.value(group, key).value_or(QByteArray()).trimmed();
    };
    if (text("Mail Account", "BackendName") != "pop")
        return std::nullopt;
    Pop3Account account;
    account.uid = source.uid;
    account.name = QString::fromUtf8(text("Data Source", "DisplayName"));
    account.host = QString::fromUtf8(text("Authentication", "Host"));
    account.user = QString::fromUtf8(text("Authentication", "User"));
    account.security = text("Security", "Method");
    const int defaultPort = account.security == kSecurityTls ? 995 : 110;
    bool ok = false;
    account.port = text("Authentication", "Port").toInt(&ok);
    if (!ok || account.port <= 0 || account.port > 65535)
        account.port = defaultPort;
    const QByteArray method = text("Authentication", "Method");
    account.loginBlocked = !(method.isEmpty() || method == "none");
    return account;
}

QList<KeyChange> routeAccount(KeyFileText &data, int proxyPort)
{
    const QByteArray host = data.value("Authentication", "Host").value_or(QByteArray()).trimmed();
    const QByteArray user = data.value("Authentication", "User").value_or(QByteArray()).trimmed();
    QList<KeyChange> changes = changeValues(data, "Authentication",
        {{"Host", "localhost"}, {"Port", QByteArray::number(proxyPort)}, {"User", user + ',' + host}});
    changes += changeValues(data, "Security", {{"Method", kSecurityNone}});
    return changes;
}

} // namespace jw::evolution
