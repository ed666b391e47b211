#include "thunderbird/pop3servers.h"

#include <QUrl>

#include <algorithm>
#include <iterator>

namespace jw::thunderbird {

namespace {

// The values routing changes, saved before it does.
const char *const kSavedNames[] = {"hostname", "port", "userName", "socketType", "authMethod", "name"};
// Folder addresses that name an account's folders.
const char *const kIdentityFolders[] = {".fcc_folder", ".draft_folder", ".archive_folder", ".stationery_folder"};
const char *const kSpamTargets[] = {".spamActionTargetAccount", ".spamActionTargetFolder"};

QByteArray serverPref(const QByteArray &key, const char *name)
{
    return "mail.server." + key + '.' + name;
}

QByteArray savedPref(const QByteArray &key, const char *name)
{
    return serverPref(key, "junkwarden.saved.") + name;
}

// Which saved values were absent; its presence marks saved values.
QByteArray absentPref(const QByteArray &key)
{
    return serverPref(key, "junkwarden.absent");
}

QString text(const PrefsFile &prefs, const QByteArray &name)
{
    const std::optional<PrefValue> v = prefs.value(name);
    return v && v->type == PrefValue::Type::String ? v->text : QString();
}

std::optional<qint64> number(const PrefsFile &prefs, const QByteArray &name)
{
    const std::optional<PrefValue> v = prefs.value(name);
    if (v && v->type == PrefValue::Type::Integer)
        return v->number;
    return std::nullopt;
}

// The connection security as Thunderbird reads it: an old "isSecure" true
// without "socketType" means TLS from the first byte.
int socketTypeOf(const PrefsFile &prefs, const QByteArray &key, const char *name = "socketType")
{
    if (const auto type = number(prefs, serverPref(key, name)))
        return int(*type);
    const std::optional<PrefValue> secure = prefs.value(serverPref(key, "isSecure"));
    return secure && secure->type == PrefValue::Type::Boolean && secure->flag ? kSocketTls : kSocketPlain;
}

// A port that is missing, -1 or below 2 means the default of its security.
int portOf(std::optional<qint64> port, int socketType)
{
    if (!port || *port < 2 || *port > 65535)
        return socketType == kSocketTls ? 995 : 110;
    return int(*port);
}

bool hasSaved(const PrefsFile &prefs, const QByteArray &key)
{
    return prefs.value(absentPref(key)).has_value();
}

QStringList absentNames(const PrefsFile &prefs, const QByteArray &key)
{
    return text(prefs, absentPref(key)).split(QLatin1Char(','), Qt::SkipEmptyParts);
}

void removeSaved(PrefsFile &prefs, const QByteArray &key)
{
    for (const char *name : kSavedNames)
        prefs.remove(savedPref(key, name));
    prefs.remove(absentPref(key));
}

// Moves the folder addresses that preferences hold.
void moveFolderPrefs(PrefsFile &prefs, const FolderMove &move)
{
    for (const QByteArray &name : prefs.names()) {
        const bool identity = name.startsWith("mail.identity.")
            && std::any_of(std::begin(kIdentityFolders), std::end(kIdentityFolders),
                [&name](const char *suffix) { return name.endsWith(suffix); });
        const bool spam = name.startsWith("mail.server.")
            && std::any_of(std::begin(kSpamTargets), std::end(kSpamTargets),
                [&name](const char *suffix) { return name.endsWith(suffix); });
        if (!identity && !spam)
            continue;
        const std::optional<PrefValue> value = prefs.value(name);
        if (!value || value->type != PrefValue::Type::String)
            continue;
        const QByteArray moved = movedAddress(value->text.toUtf8(), move);
        if (moved != value->text.toUtf8())
            prefs.set(name, PrefValue::string(QString::fromUtf8(moved)));
    }
}

} // namespace

QList<Pop3Server> pop3Servers(const PrefsFile &prefs, int proxyPort)
{
    QList<Pop3Server> servers;
    QList<QByteArray> others; // type, user, host and port of every server, as Thunderbird compares them
    const QStringList accounts =
        text(prefs, "mail.accountmanager.accounts").split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &account : accounts) {
        const QByteArray key = text(prefs, "mail.account." + account.trimmed().toUtf8() + ".server").toUtf8();
        if (key.isEmpty())
            continue;
        const QString type = text(prefs, serverPref(key, "type"));
        const int socketType = socketTypeOf(prefs, key);
        Pop3Server s;
        s.key = key;
        s.hostname = text(prefs, serverPref(key, "hostname"));
        s.userName = text(prefs, serverPref(key, "userName"));
        s.port = portOf(number(prefs, serverPref(key, "port")), socketType);
        others.append(type.toUtf8() + '\n' + s.userName.toUtf8() + '\n' + s.hostname.toLower().toUtf8() + '\n'
            + QByteArray::number(s.port));
        if (type != QLatin1String("pop3"))
            continue;
        s.name = text(prefs, serverPref(key, "name"));
        s.flagged = prefs.value(serverPref(key, kRouteFlag)) == PrefValue::boolean(true);
        s.routed = hasSaved(prefs, key) && s.hostname.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0;
        if (s.routed) {
            s.realHost = text(prefs, savedPref(key, "hostname"));
            s.realUser = text(prefs, savedPref(key, "userName"));
            // What Thunderbird read before routing: the saved value, or
            // "isSecure" (routing leaves it alone) when there was none.
            s.realSocketType = socketTypeOf(prefs, key, "junkwarden.saved.socketType");
            s.realPort = portOf(number(prefs, savedPref(key, "port")), s.realSocketType);
            s.realAuthMethod = int(number(prefs, savedPref(key, "authMethod")).value_or(kAuthPassword));
        } else {
            s.realHost = s.hostname;
            s.realUser = s.userName;
            s.realSocketType = socketType;
            s.realPort = s.port;
            const int auth = int(number(prefs, serverPref(key, "authMethod")).value_or(kAuthPassword));
            s.realAuthMethod = auth;
            // OAuth 2.0 passes: the proxy signs in with a token of its own.
            if (auth == 5 || auth == 6 || auth == 7)
                s.unroutable = Pop3Server::Unroutable::Login;
            else if (s.userName.contains(QLatin1Char(',')))
                s.unroutable = Pop3Server::Unroutable::Comma;
        }
        servers.append(s);
    }
    // Thunderbird drops the second of two servers with the same type, user,
    // host and port: no routed form may equal another server.
    for (Pop3Server &s : servers) {
        if (s.routed || s.unroutable != Pop3Server::Unroutable::No)
            continue;
        const QByteArray routedForm = "pop3\n" + (s.realUser + QLatin1Char(',') + s.realHost).toUtf8() + "\nlocalhost\n"
            + QByteArray::number(proxyPort);
        if (others.contains(routedForm))
            s.unroutable = Pop3Server::Unroutable::Collision;
    }
    return servers;
}

void setRouteFlag(PrefsFile &prefs, const QByteArray &key, bool flagged)
{
    if (flagged)
        prefs.set(serverPref(key, kRouteFlag), PrefValue::boolean(true));
    else
        prefs.remove(serverPref(key, kRouteFlag));
}

FolderMove routeServer(PrefsFile &prefs, const QByteArray &key, int proxyPort)
{
    const QList<Pop3Server> servers = pop3Servers(prefs, proxyPort);
    const auto it = std::find_if(servers.begin(), servers.end(), [&key](const Pop3Server &s) { return s.key == key; });
    if (it == servers.end() || it->routed || it->unroutable != Pop3Server::Unroutable::No)
        return {};
    const Pop3Server &s = *it;
    QStringList absent;
    for (const char *name : kSavedNames) {
        if (const std::optional<PrefValue> value = prefs.value(serverPref(key, name)))
            prefs.set(savedPref(key, name), *value);
        else
            absent.append(QLatin1String(name));
    }
    prefs.set(absentPref(key), PrefValue::string(absent.join(QLatin1Char(','))));
    const QString routedUser = s.realUser + QLatin1Char(',') + s.realHost;
    prefs.set(serverPref(key, "hostname"), PrefValue::string(QStringLiteral("localhost")));
    prefs.set(serverPref(key, "port"), PrefValue::integer(proxyPort));
    prefs.set(serverPref(key, "userName"), PrefValue::string(routedUser));
    prefs.set(serverPref(key, "socketType"), PrefValue::integer(kSocketPlain));
    prefs.set(serverPref(key, "authMethod"), PrefValue::integer(kAuthPassword));
    // The account tree shows the name; without one it would show the routed form.
    if (absent.contains(QLatin1String("name")))
        prefs.set(serverPref(key, "name"), PrefValue::string(s.realUser + QLatin1Char('@') + s.realHost));
    const FolderMove move{folderPrefix(s.realUser, s.realHost), folderPrefix(routedUser, QStringLiteral("localhost"))};
    moveFolderPrefs(prefs, move);
    return move;
}

FolderMove restoreServer(PrefsFile &prefs, const QByteArray &key)
{
    if (!hasSaved(prefs, key))
        return {};
    const QString host = text(prefs, serverPref(key, "hostname"));
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) != 0) {
        // Changed by hand since: the user's values stay.
        removeSaved(prefs, key);
        return {};
    }
    const FolderMove move{folderPrefix(text(prefs, serverPref(key, "userName")), host),
        folderPrefix(text(prefs, savedPref(key, "userName")), text(prefs, savedPref(key, "hostname")))};
    const QStringList absent = absentNames(prefs, key);
    for (const char *name : kSavedNames) {
        if (absent.contains(QLatin1String(name))) {
            prefs.remove(serverPref(key, name));
        } else if (const std::optional<PrefValue> saved = prefs.value(savedPref(key, name))) {
            prefs.set(serverPref(key, name), *saved);
        }
    }
    removeSaved(prefs, key);
    moveFolderPrefs(prefs, move);
    return move;
}

QByteArray folderPrefix(const QString &user, const QString &host)
{
    // As encodeURIComponent escapes: all but letters, digits and -_.!~*'().
    return "mailbox://" + QUrl::toPercentEncoding(user, "!~*'()") + '@' + host.toUtf8();
}

QByteArray movedAddress(const QByteArray &address, const FolderMove &move)
{
    if (move.from.isEmpty() || !address.startsWith(move.from))
        return address;
    const qsizetype end = move.from.size();
    if (end < address.size() && address[end] != '/' && address[end] != '"')
        return address;
    return move.to + address.mid(end);
}

QByteArray moveFilterTargets(const QByteArray &rules, const FolderMove &move)
{
    if (move.from.isEmpty())
        return rules;
    static const QByteArray kAction = "actionValue=\"";
    QByteArray out;
    out.reserve(rules.size());
    qsizetype done = 0;
    for (qsizetype at = rules.indexOf(kAction); at >= 0; at = rules.indexOf(kAction, at + 1)) {
        const qsizetype value = at + kAction.size();
        if (!QByteArrayView(rules).sliced(value).startsWith(move.from))
            continue;
        const qsizetype end = value + move.from.size();
        if (end < rules.size() && rules[end] != '/' && rules[end] != '"' && rules[end] != '\\')
            continue;
        out += rules.mid(done, value - done) + move.to;
        done = end;
    }
    return out + rules.mid(done);
}

} // namespace jw::thunderbird
