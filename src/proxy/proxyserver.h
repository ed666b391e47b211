#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QTcpServer;
class QThreadPool;

namespace jw {

class AutoReplier;
class DnsCache;
class Judgement;
class MailCheck;
class Registry;
class StatusFile;
class TokenStore;
struct ProxyContext;

// Where the proxy finds everything: the program folder it lies in, and the
// account store.
struct ProxyFolders
{
    QString program; // with a trailing "/"
};

// The filtering proxy: listens for mail clients on the loopback addresses
// only (127.0.0.1 and ::1) at the port of "main.cfg", one session each.
class ProxyServer : public QObject
{
    Q_OBJECT
public:
    ProxyServer(const QString &programFolder, Registry &accounts, QObject *parent = nullptr);
    ~ProxyServer() override;

    // Reads the settings and starts listening; false (and why) when no
    // loopback address could be had.
    bool start(QString *problem);
    quint16 port() const { return m_port; }
    int sessions() const;

private:
    void accept(QTcpServer *server);
    void removeLeftovers();

    QString m_programFolder;
    Registry &m_accounts;
    std::unique_ptr<DnsCache> m_dns;
    std::unique_ptr<AutoReplier> m_replier;
    std::unique_ptr<QThreadPool> m_readers;
    std::unique_ptr<QThreadPool> m_decoders;
    std::unique_ptr<Judgement> m_judgement;
    std::unique_ptr<StatusFile> m_status;
    std::unique_ptr<ProxyContext> m_context;
    std::unique_ptr<TokenStore> m_tokenStore;
    MailCheck *m_check = nullptr;
    QTcpServer *m_ipv4 = nullptr;
    QTcpServer *m_ipv6 = nullptr;
    quint16 m_port = 0;
};

} // namespace jw
