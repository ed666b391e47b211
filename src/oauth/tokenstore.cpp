#include "oauth/tokenstore.h"

#include "textfile/errors.h"
#include "textfile/nativefile.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QSemaphore>
#include <QThread>
#include <QTimer>
#include <qt6keychain/keychain.h>

namespace jw {

namespace {

constexpr char kService[] = "Junkwarden";
constexpr char kFileName[] = "oauth-tokens";

// A JSON object of account -> token, mode 0600 from its first byte.
class FileTokenStore final : public TokenStore
{
public:
    explicit FileTokenStore(const QString &stateFolder)
        : m_path(nativePath(stateFolder + QLatin1String(kFileName)))
    {
    }

    std::optional<QByteArray> read(const QString &account) const
    {
        const QJsonObject all = QJsonDocument::fromJson(readNativeFile(m_path).value_or(QByteArray())).object();
        const QString token = all.value(account).toString();
        return token.isEmpty() ? std::nullopt : std::optional<QByteArray>(token.toUtf8());
    }
    QString write(const QString &account, const std::optional<QByteArray> &token)
    {
        QJsonObject all = QJsonDocument::fromJson(readNativeFile(m_path).value_or(QByteArray())).object();
        if (!token && !all.contains(account))
            return QString(); // nothing to forget: no file made for it
        if (token)
            all.insert(account, QString::fromUtf8(*token));
        else
            all.remove(account);
        try {
            writeNativeFileAtomically(m_path, QJsonDocument(all).toJson(QJsonDocument::Compact),
                QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        } catch (const Error &e) {
            return e.message();
        }
        return QString();
    }

    void load(const QString &account, Loaded done) override
    {
        const std::optional<QByteArray> token = read(account);
        QTimer::singleShot(0, &m_context, [done = std::move(done), token] { done(token); });
    }
    void save(const QString &account, const QByteArray &token, Saved done) override
    {
        const QString problem = write(account, token);
        QTimer::singleShot(0, &m_context, [done = std::move(done), problem] { done(problem); });
    }
    void remove(const QString &account) override { write(account, std::nullopt); }
    QString fallbackNote() const override
    {
        return QStringLiteral("no secret store answers: sign-in tokens are kept in %1, readable by you alone")
            .arg(QFile::decodeName(m_path));
    }

private:
    NativePath m_path;
    QObject m_context; // answers not yet given go with the store
};

// The secret store first; when it is not there, the file.
class KeychainTokenStore final : public TokenStore
{
public:
    explicit KeychainTokenStore(const QString &stateFolder)
        : m_file(stateFolder)
    {
    }

    void load(const QString &account, Loaded done) override
    {
        auto *job = new QKeychain::ReadPasswordJob(QLatin1String(kService));
        job->setKey(account);
        QObject::connect(
            job, &QKeychain::Job::finished, &m_context, [this, account, done = std::move(done)](QKeychain::Job *j) {
                auto *read = static_cast<QKeychain::ReadPasswordJob *>(j);
                if (read->error() == QKeychain::NoError) {
                    m_usingFile = false;
                    done(read->binaryData());
                    return;
                }
                if (read->error() != QKeychain::EntryNotFound)
                    m_usingFile = true;
                done(m_file.read(account));
            });
        job->start();
    }
    void save(const QString &account, const QByteArray &token, Saved done) override
    {
        auto *job = new QKeychain::WritePasswordJob(QLatin1String(kService));
        job->setKey(account);
        job->setBinaryData(token);
        QObject::connect(job, &QKeychain::Job::finished, &m_context,
            [this, account, token, done = std::move(done)](QKeychain::Job *j) {
                if (j->error() == QKeychain::NoError) {
                    m_usingFile = false;
                    m_file.write(account, std::nullopt); // one copy only
                    done(QString());
                    return;
                }
                m_usingFile = true;
                done(m_file.write(account, token));
            });
        job->start();
    }
    void remove(const QString &account) override
    {
        auto *job = new QKeychain::DeletePasswordJob(QLatin1String(kService));
        job->setKey(account);
        job->start();
        m_file.write(account, std::nullopt);
    }
    QString fallbackNote() const override { return m_usingFile ? m_file.fallbackNote() : QString(); }

private:
    FileTokenStore m_file;
    bool m_usingFile = false;
    QObject m_context; // a job that ends after the store calls nothing
};

// Hands every call to a store living on its own thread, and its answers
// back to the thread that asked.
class ThreadedTokenStore final : public TokenStore
{
public:
    explicit ThreadedTokenStore(const QString &stateFolder)
    {
        // The secret store's library (libsecret) answers through GLib's
        // loop: the thread gets that loop whatever this process chose.
        const QByteArray noGlib = qgetenv("QT_NO_GLIB");
        qunsetenv("QT_NO_GLIB");
        QSemaphore running;
        QObject::connect(
            &m_thread, &QThread::started, &m_thread, [&running] { running.release(); }, Qt::DirectConnection);
        m_thread.start();
        running.acquire();
        if (!noGlib.isNull())
            qputenv("QT_NO_GLIB", noGlib);
        m_worker.moveToThread(&m_thread);
        QMetaObject::invokeMethod(
            &m_worker, [this, stateFolder] { m_inner = createTokenStore(stateFolder); }, Qt::BlockingQueuedConnection);
    }
    ~ThreadedTokenStore() override
    {
        QMetaObject::invokeMethod(
            &m_worker, [this] { m_inner.reset(); }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }

    void load(const QString &account, Loaded done) override
    {
        QPointer<QObject> home(&m_home);
        QMetaObject::invokeMethod(&m_worker, [this, home, account, done = std::move(done)] {
            m_inner->load(account, [home, done](const std::optional<QByteArray> &token) {
                QMetaObject::invokeMethod(home, [done, token] { done(token); });
            });
        });
    }
    void save(const QString &account, const QByteArray &token, Saved done) override
    {
        QPointer<QObject> home(&m_home);
        QMetaObject::invokeMethod(&m_worker, [this, home, account, token, done = std::move(done)] {
            m_inner->save(account, token, [this, home, done](const QString &problem) {
                m_note = m_inner->fallbackNote();
                QMetaObject::invokeMethod(home, [done, problem] { done(problem); });
            });
        });
    }
    void remove(const QString &account) override
    {
        QMetaObject::invokeMethod(&m_worker, [this, account] { m_inner->remove(account); });
    }
    QString fallbackNote() const override { return m_note; }

private:
    QThread m_thread;
    QObject m_worker;
    QObject m_home; // lives on the calling thread
    std::unique_ptr<TokenStore> m_inner; // used on m_thread only
    QString m_note;
};

} // namespace

QString tokenAccount(const QString &user, const QString &server)
{
    return (user + QLatin1Char(',') + server).toLower();
}

std::unique_ptr<TokenStore> createTokenStore(const QString &stateFolder)
{
    return std::make_unique<KeychainTokenStore>(stateFolder);
}

std::unique_ptr<TokenStore> createTokenStoreOnOwnThread(const QString &stateFolder)
{
    return std::make_unique<ThreadedTokenStore>(stateFolder);
}

std::unique_ptr<TokenStore> createFileTokenStore(const QString &stateFolder)
{
    return std::make_unique<FileTokenStore>(stateFolder);
}

} // namespace jw
