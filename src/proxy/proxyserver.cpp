#include "proxy/proxyserver.h"

#include "formats/quarantinestore.h"
#include "formats/statusfile.h"
#include "oauth/tokenstore.h"
#include "platform/folderlisting.h"
#include "platform/peeruser.h"
#include "proxy/autoreply.h"
#include "proxy/clientsession.h"
#include "proxy/dnscache.h"
#include "proxy/judgement.h"
#include "proxy/mailcheck.h"
#include "proxy/messagebuffer.h"
#include "proxy/proxycontext.h"
#include "proxy/tokenbroker.h"
#include "settings/keyvaluefile.h"
#include "settings/settingsfile.h"
#include "settings/settingskeys.h"
#include "textfile/errors.h"

#include <QSslCertificate>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <sys/stat.h>

namespace jw {

ProxyServer::ProxyServer(const QString &programFolder, Registry &accounts, QObject *parent)
    : QObject(parent)
    , m_programFolder(programFolder)
    , m_accounts(accounts)
{
}

ProxyServer::~ProxyServer()
{
    // Sessions go first: they use the context.
    const auto sessions = findChildren<ClientSession *>(QString(), Qt::FindDirectChildrenOnly);
    for (ClientSession *session : sessions)
        delete session;
    // Judging and learning still under way use the judgement: they end first.
    if (m_decoders)
        m_decoders->waitForDone();
    if (m_readers)
        m_readers->waitForDone();
}

int ProxyServer::sessions() const
{
    return int(findChildren<ClientSession *>(QString(), Qt::FindDirectChildrenOnly).size());
}

bool ProxyServer::start(QString *problem)
{
    const QString config = m_programFolder + QStringLiteral("config/");
    const KeyValueFile settings = settingsfile::loadOrEmpty(config);
    const int port = settingsfile::number(settings, settingskeys::kServerPort);
    if (port == 0) {
        *problem = QStringLiteral("no usable port in main.cfg (server_port)");
        return false;
    }
    m_port = quint16(port);

    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    const QString caFile = settingsfile::text(settings, settingskeys::kTlsCaFile);
    if (!caFile.isEmpty()) {
        const QList<QSslCertificate> extra = QSslCertificate::fromPath(caFile, QSsl::Pem);
        if (extra.isEmpty()) {
            *problem =
                QStringLiteral("no certificate in %1 (%2)").arg(caFile, QLatin1String(settingskeys::kTlsCaFile.name));
            return false;
        }
        tls.addCaCertificates(extra);
    }
    const QString whatWithSpam = settingsfile::text(settings, settingskeys::kWhatWithSpam);

    const JudgementSettings judging = JudgementSettings::readFrom(config);
    m_dns = std::make_unique<DnsCache>(judging.dnsServer);
    m_judgement = std::make_unique<LocalJudgement>(config, judging, 1000, m_dns.get());
    m_replier = std::make_unique<AutoReplier>(config, m_programFolder + QStringLiteral("state/"), tls);
    // Decoding a message and splitting it into words is most of judging it:
    // done on every core while the sessions' thread moves mail; the
    // judgement itself keeps one thread of its own, so that it is asked and
    // taught in order.
    m_readers = std::make_unique<QThreadPool>();
    m_readers->setMaxThreadCount(1);
    m_decoders = std::make_unique<QThreadPool>();
    m_decoders->setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
    m_status = std::make_unique<StatusFile>(m_programFolder);
    m_context = std::unique_ptr<ProxyContext>(new ProxyContext{m_programFolder, config,
        m_programFolder + QStringLiteral("messages/"), m_programFolder + QStringLiteral("state/"), m_accounts,
        *m_judgement, *m_dns, *m_replier, *m_readers, *m_decoders, tls, whatWithSpam, *m_status, 0});

    m_ipv4 = new QTcpServer(this);
    m_ipv6 = new QTcpServer(this);
    const bool v4 = m_ipv4->listen(QHostAddress::LocalHost, m_port);
    const bool v6 = m_ipv6->listen(QHostAddress::LocalHostIPv6, m_port);
    if (!v4 && !v6) {
        *problem = QStringLiteral("cannot listen on port %1: %2").arg(m_port).arg(m_ipv4->errorString());
        return false;
    }
    m_tokenStore = createTokenStoreOnOwnThread(m_context->stateFolder);
    m_context->tokens = new TokenBroker(*m_tokenStore, m_context->stateFolder, this);
    m_check = new MailCheck(*m_context, m_port, this);
    m_context->mailCheck = m_check;
    for (QTcpServer *server : {m_ipv4, m_ipv6})
        connect(server, &QTcpServer::newConnection, this, [this, server] { accept(server); });
    removeLeftovers();
    return true;
}

void ProxyServer::removeLeftovers()
{
    // The port is ours, so no other proxy is at work: what a proxy killed
    // midway left (a held message half written, a message spilled to disk)
    // goes, and the folders are made private again.
    QuarantineStore(m_context->messagesFolder, m_context->configFolder, QString(), QString()).removeLeftovers();
    const NativePath state = nativePath(m_context->stateFolder);
    ::mkdir(state.constData(), 0700);
    ::chmod(state.constData(), 0700);
    for (const FolderEntry &file : listFolder(state)) {
        if (!file.isFolder && file.nativeName.startsWith(MessageBuffer::kSpillPrefix))
            removeNativeFile(state + file.nativeName);
    }
}

void ProxyServer::accept(QTcpServer *server)
{
    while (QTcpSocket *client = server->nextPendingConnection()) {
        // Only the user who runs the proxy may use it: another local user
        // would fetch through this user's accounts, fill this user's
        // quarantine and teach this user's filter. Asked before anything is
        // read; a connection whose owner cannot be told is refused too.
        const std::optional<uint> owner =
            localPeerUser(client->peerAddress(), client->peerPort(), client->localAddress(), client->localPort());
        if (!owner || *owner != currentUser()) {
            client->write("-ERR [AUTH] this Junkwarden proxy serves only the user who runs it\r\n");
            client->disconnectFromHost();
            connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
            QTimer::singleShot(5000, client, &QObject::deleteLater);
            continue;
        }
        new ClientSession(
            client, *m_context, m_check->isOwnConnection(client->peerAddress(), client->peerPort()), this);
    }
}

} // namespace jw
