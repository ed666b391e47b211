#include "platform/singleinstance.h"
#include "textfile/nativefile.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

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
        , m_lockPath(m_folder + QStringLiteral("/junkwarden.lock"))
        , m_socketPath(m_folder + QStringLiteral("/junkwarden.socket"))
    {
    }

    ~LinuxSingleInstance() override
    {
        if (m_lockFd >= 0)
            ::close(m_lockFd);
    }

    bool becomePrimary() override
    {
        QDir().mkpath(m_folder);
        // The kernel holds the lock for the process and drops it when the
        // process ends, however it ends: no lock is ever stale.
        const NativePath path = nativePath(m_lockPath);
        int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0 && (errno == EACCES || errno == EPERM || errno == ELOOP)) {
            // Left by a run under another user id (say, under sudo): it is in
            // this user's own folder, so it is replaced.
            ::unlink(path.constData());
            fd = ::open(path.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        }
        if (fd < 0) {
            m_problem = m_lockPath + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
            return true; // run all the same, as the program did without a lock
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            if (error == EWOULDBLOCK)
                return false; // a live copy holds it
            m_problem = m_lockPath + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error));
            return true;
        }
        m_lockFd = fd;
        // For people looking: who holds it.
        const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
        if (::ftruncate(fd, 0) == 0)
            (void)!::pwrite(fd, pid.constData(), size_t(pid.size()), 0);
        // Only the lock holder may clear a socket left by a crashed copy.
        QLocalServer::removeServer(m_socketPath);
        m_server = new QLocalServer(this);
        m_server->setSocketOptions(QLocalServer::UserAccessOption);
        QObject::connect(m_server, &QLocalServer::newConnection, this, [this] { acceptConnections(); });
        m_server->listen(m_socketPath);
        return true;
    }

    QString lockProblem() const override { return m_problem; }

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
    QString m_lockPath;
    QString m_socketPath;
    int m_lockFd = -1;
    QString m_problem;
    QLocalServer *m_server = nullptr;
    QHash<QLocalSocket *, QByteArray> m_pending;
};

} // namespace

std::unique_ptr<SingleInstance> createSystemSingleInstance(const QString &folder)
{
    return std::make_unique<LinuxSingleInstance>(folder);
}

} // namespace jw
