#pragma once

#include <QString>

namespace jw {

// The servers that have offered the proxy a secure connection, kept in the
// proxy's state folder ("tls-servers", one "host:port" a line). A server
// that did once must always: one that no longer offers STLS is taken for
// someone in between who strips it, as a browser takes a site that dropped
// HTTPS after it had seen it. Deleting the server's line (or the file)
// forgets it, for a server that really dropped TLS.
class TlsMemory
{
public:
    static constexpr char kFileName[] = "tls-servers";

    explicit TlsMemory(const QString &stateFolder);
    bool seen(const QString &host, quint16 port) const;
    // Notes the server; a failure to write is not reported.
    void remember(const QString &host, quint16 port) const;

private:
    QString m_path;
};

} // namespace jw
