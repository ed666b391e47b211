#include "clawsmail/accountrc.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalSocket>

namespace jw::clawsmail {

QByteArray accountGroup(int account)
{
    return "Account: " + QByteArray::number(account);
}

QList<int> accountIds(const KeyFileText &file)
{
    QList<int> ids;
    for (const QByteArray &group : file.groups()) {
        if (!group.startsWith("Account: "))
            continue;
        bool ok = false;
        const int id = group.mid(9).toInt(&ok);
        if (ok && !ids.contains(id))
            ids.append(id);
    }
    return ids;
}

QList<Pop3Account> pop3Accounts(const KeyFileText &file)
{
    QList<Pop3Account> found;
    for (int id : accountIds(file)) {
        const QByteArray group = accountGroup(id);
        const auto text = [&file, &group](const char *key) { return file.value(group, key).value_or(QByteArray()); };
        if (text("protocol") != "0")
            continue;
        Pop3Account account;
        account.id = id;
        account.name = QString::fromUtf8(text("account_name"));
        account.server = QString::fromUtf8(text("receive_server"));
        account.user = QString::fromUtf8(text("user_id"));
        account.ssl = text("ssl_pop").toInt();
        const int defaultPort = account.ssl == 1 ? 995 : 110;
        account.port = text("set_popport") == "1" ? text("pop_port").toInt() : defaultPort;
        if (account.port <= 0 || account.port > 65535)
            account.port = defaultPort;
        // With "use_pop_auth" set, "pop_auth_method" is 1 for APOP and 2 for
        // OAuth 2.0; the older "use_apop_auth" also means APOP.
        const int method = text("pop_auth_method").toInt();
        account.loginBlocked =
            (text("use_pop_auth") == "1" && (method == 1 || method == 2)) || text("use_apop_auth") == "1";
        found.append(account);
    }
    return found;
}

QList<KeyChange> routeAccount(KeyFileText &file, int account, int proxyPort)
{
    const QByteArray group = accountGroup(account);
    const QByteArray server = file.value(group, "receive_server").value_or(QByteArray());
    const QByteArray user = file.value(group, "user_id").value_or(QByteArray());
    return changeValues(file, group,
        {{"receive_server", "localhost"}, {"user_id", user + ',' + server}, {"set_popport", "1"},
            {"pop_port", QByteArray::number(proxyPort)}, {"ssl_pop", "0"}});
}

QString uidlFileName(const QString &server, const QString &user)
{
    // Claws makes the user name safe for a file name as it names the file.
    QString safeUser = user;
    for (const QChar c : {u'\t', u'\r', u'\n', u'\\', u'/', u'*'})
        safeUser.replace(c, QLatin1Char('_'));
    return QStringLiteral("uidl/%1-%2").arg(server, safeUser);
}

QString configFolder(const QString &home)
{
    return QDir(home).filePath(QStringLiteral(".claws-mail"));
}

QString socketPath(const QString &configFolder, const QString &runtimeDir)
{
    const QByteArray md5 = QCryptographicHash::hash(configFolder.toUtf8(), QCryptographicHash::Md5).toHex();
    return runtimeDir + QLatin1String("/claws-mail/") + QString::fromLatin1(md5);
}

QString runtimeDir(const QString &home)
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        return runtime;
    const QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    return cache.isEmpty() ? QDir(home).filePath(QStringLiteral(".cache")) : cache;
}

bool isRunning(const QString &configFolder, const QString &runtimeDir)
{
    // A socket file left by a Claws Mail that was killed refuses at once.
    QLocalSocket socket;
    socket.connectToServer(socketPath(configFolder, runtimeDir));
    const bool running = socket.waitForConnected(1000);
    socket.abort();
    return running;
}

} // namespace jw::clawsmail
