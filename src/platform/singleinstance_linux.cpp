#include "platform/singleinstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>

namespace jw {

namespace {

// What a second start sends; the running copy answers nothing.
constexpr char kShowRequest[] = "322 332";
constexpr int kConnectTimeoutMs = 3000;

class LinuxSingleInstance final : public SingleInstance
{
public:
    explicit LinuxSingleInstance(const QString &folder)
        : m_folder(folder.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) : folder)
        , m_lock(m_folder + QStringLiteral("/junkwarden.lock"))
        , m_socketPath(m_folder + QStringLiteral("/junkwarden.socket"))
    {
        // A lock whose owner has died is stale whatever its age; a live
        // owner's lock is never broken.
        m_lock.setStaleLockTime(0);
    }

    bool becomePrimary() override
    {
        QDir().mkpath(m_folder);
        if (!m_lock.tryLock(0)) {
            // No lock could be made at all (not merely: someone holds it):
            // go on as the running copy, as the program did without one.
            if (m_lock.error() != QLockFile::LockFailedError)
                return true;
            return false;
        }
        // Only the lock holder may clear a socket left by a crashed copy.
        QLocalServer::removeServer(m_socketPath);
        m_server = new QLocalServer(this);
        m_server->setSocketOptions(QLocalServer::UserAccessOption);
        QObject::connect(m_server, &QLocalServer::newConnection, this, [this] { acceptConnections(); });
        m_server->listen(m_socketPath);
        return true;
    }

    bool sendShowRequest() override
    {
        // The running copy may have just taken the lock and not be listening
        // yet; keep trying for a while.
        const QDeadlineTimer deadline(kConnectTimeoutMs);
        while (!deadline.hasExpired()) {
            QLocalSocket socket;
            socket.connectToServer(m_socketPath);
            if (socket.waitForConnected(200)) {
                socket.write(kShowRequest);
                socket.flush();
                socket.waitForBytesWritten(500);
                socket.disconnectFromServer();
                return true;
            }
            QThread::msleep(50);
        }
        return false;
    }

private:
    void acceptConnections()
    {
        while (QLocalSocket *client = m_server->nextPendingConnection()) {
            QObject::connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            QObject::connect(client, &QLocalSocket::readyRead, this, [this, client] {
                m_pending[client] += client->readAll();
                if (m_pending[client].contains(kShowRequest)) {
                    m_pending.remove(client);
                    client->disconnectFromServer();
                    Q_EMIT showRequested();
                } else if (m_pending[client].size() > 64) {
                    m_pending.remove(client);
                    client->abort();
                }
            });
            QObject::connect(client, &QObject::destroyed, this, [this, client] { m_pending.remove(client); });
        }
    }

    QString m_folder;
    QLockFile m_lock;
    QString m_socketPath;
    QLocalServer *m_server = nullptr;
    QHash<QLocalSocket *, QByteArray> m_pending;
};

} // namespace

std::unique_ptr<SingleInstance> createSystemSingleInstance(const QString &folder)
{
    return std::make_unique<LinuxSingleInstance>(folder);
}

} // namespace jw
