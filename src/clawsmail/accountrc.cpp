#include "clawsmail/accountrc.h"

#include <algorithm>

namespace jw::clawsmail {

namespace {

QByteArray groupHeader(int account)
{
    return "[Account: " + QByteArray::number(account) + "]";
}

qsizetype lineEnd(const QByteArray &bytes, qsizetype from)
{
    const qsizetype end = bytes.indexOf('\n', from);
    return end < 0 ? bytes.size() : end;
}

// The text of the line without its CR, if any.
QByteArray lineText(const QByteArray &bytes, qsizetype start, qsizetype end)
{
    QByteArray line = bytes.mid(start, end - start);
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

// The byte range of the group's lines, after its header.
std::optional<std::pair<qsizetype, qsizetype>> groupRange(const QByteArray &bytes, int account)
{
    const QByteArray header = groupHeader(account);
    qsizetype position = 0;
    std::optional<qsizetype> start;
    while (position < bytes.size()) {
        const qsizetype end = lineEnd(bytes, position);
        const QByteArray line = lineText(bytes, position, end).trimmed();
        if (line.startsWith('[')) {
            if (start)
                return std::pair{*start, position};
            if (line == header)
                start = end + 1;
        }
        position = end + 1;
    }
    if (start)
        return std::pair{std::min(*start, bytes.size()), bytes.size()};
    return std::nullopt;
}

} // namespace

AccountRc AccountRc::parse(const QByteArray &bytes)
{
    AccountRc file;
    file.m_bytes = bytes;
    return file;
}

QList<int> AccountRc::accounts() const
{
    QList<int> ids;
    qsizetype position = 0;
    while (position < m_bytes.size()) {
        const qsizetype end = lineEnd(m_bytes, position);
        const QByteArray line = lineText(m_bytes, position, end).trimmed();
        if (line.startsWith("[Account: ") && line.endsWith(']')) {
            bool ok = false;
            const int id = line.mid(10, line.size() - 11).toInt(&ok);
            if (ok)
                ids.append(id);
        }
        position = end + 1;
    }
    return ids;
}

std::optional<AccountRc::Span> AccountRc::find(int account, const QByteArray &key) const
{
    const auto range = groupRange(m_bytes, account);
    if (!range)
        return std::nullopt;
    qsizetype position = range->first;
    while (position < range->second) {
        const qsizetype end = lineEnd(m_bytes, position);
        const QByteArray line = lineText(m_bytes, position, end);
        const qsizetype equals = line.indexOf('=');
        if (equals > 0 && line.left(equals) == key)
            return Span{position + equals + 1, position + line.size()};
        position = end + 1;
    }
    return std::nullopt;
}

std::optional<QByteArray> AccountRc::value(int account, const QByteArray &key) const
{
    const std::optional<Span> span = find(account, key);
    if (!span)
        return std::nullopt;
    return m_bytes.mid(span->start, span->end - span->start);
}

std::optional<qsizetype> AccountRc::groupEnd(int account) const
{
    const auto range = groupRange(m_bytes, account);
    if (!range)
        return std::nullopt;
    // After the last line that holds something: blank lines separate groups.
    qsizetype end = range->second;
    while (end > range->first && (m_bytes.at(end - 1) == '\n' || m_bytes.at(end - 1) == '\r'))
        --end;
    return end;
}

void AccountRc::set(int account, const QByteArray &key, const QByteArray &value)
{
    if (const std::optional<Span> span = find(account, key)) {
        m_bytes.replace(span->start, span->end - span->start, value);
        return;
    }
    const std::optional<qsizetype> end = groupEnd(account);
    if (!end)
        return;
    const bool crlf = m_bytes.contains("\r\n");
    m_bytes.insert(*end, (crlf ? "\r\n" : "\n") + key + '=' + value);
}

void AccountRc::remove(int account, const QByteArray &key)
{
    const std::optional<Span> span = find(account, key);
    if (!span)
        return;
    qsizetype start = span->start - key.size() - 1;
    if (start > 0 && m_bytes.at(start - 1) == '\n') {
        --start;
        if (start > 0 && m_bytes.at(start - 1) == '\r')
            --start;
    }
    m_bytes.remove(start, span->end - start);
}

QList<Pop3Account> pop3Accounts(const AccountRc &file)
{
    QList<Pop3Account> found;
    for (int id : file.accounts()) {
        const auto text = [&file, id](const char *key) { return file.value(id, key).value_or(QByteArray()); };
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

SavedValues routeAccount(AccountRc &file, int account, int proxyPort)
{
    SavedValues saved;
    saved.account = account;
    const QByteArray server = file.value(account, "receive_server").value_or(QByteArray());
    const QByteArray user = file.value(account, "user_id").value_or(QByteArray());
    for (const char *key : kRoutedKeys)
        saved.before.append({QByteArray(key), file.value(account, key)});
    file.set(account, "receive_server", "localhost");
    file.set(account, "user_id", user + ',' + server);
    file.set(account, "set_popport", "1");
    file.set(account, "pop_port", QByteArray::number(proxyPort));
    file.set(account, "ssl_pop", "0");
    return saved;
}

void restoreAccount(AccountRc &file, const SavedValues &saved, int proxyPort)
{
    QByteArray server;
    QByteArray user;
    for (const auto &[key, value] : saved.before) {
        if (key == "receive_server")
            server = value.value_or(QByteArray());
        else if (key == "user_id")
            user = value.value_or(QByteArray());
    }
    const QList<std::pair<QByteArray, QByteArray>> routed{{"receive_server", "localhost"},
        {"user_id", user + ',' + server}, {"set_popport", "1"}, {"pop_port", QByteArray::number(proxyPort)},
        {"ssl_pop", "0"}};
    for (const auto &[key, value] : saved.before) {
        const auto it =
            std::find_if(routed.begin(), routed.end(), [&key = key](const auto &r) { return r.first == key; });
        if (it == routed.end() || file.value(saved.account, key) != std::optional<QByteArray>(it->second))
            continue; // changed by the user meanwhile: theirs stays
        if (value)
            file.set(saved.account, key, *value);
        else
            file.remove(saved.account, key);
    }
}

QString uidlFileName(const QString &server, const QString &user)
{
    return QStringLiteral("uidl/%1-%2").arg(server, user);
}

} // namespace jw::clawsmail
