#include "updating/updater.h"

#include "platform/datafolder.h"
#include "platform/shell.h"
#include "textfile/errors.h"
#include "textfile/nativefile.h"

#include <QCoreApplication>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <unistd.h>

namespace jw {

Updater::Updater(const QString &programFolder, const QUrl &feed, const QString &statusFile, QObject *parent)
    : QObject(parent)
    , m_statusFile(statusFile)
    , m_feedAddress(feed)
    , m_installation(programFolder)
    , m_network(new QNetworkAccessManager(this))
{
    // Never from HTTPS to HTTP, and no more than a few hops.
    m_network->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
}

Updater::~Updater() = default;

void writeUpdateStatus(const QString &statusFile, const QByteArray &firstLine, const QString &detail)
{
    QByteArray content = firstLine + "\r\n";
    if (!detail.isEmpty())
        content += detail.toUtf8().replace('\r', ' ').replace('\n', ' ') + "\r\n";
    try {
        replaceNativeFile(nativePath(statusFile), content);
    } catch (const Error &) {
        // Nobody to tell: the update window times out on its own.
    }
}

void Updater::report(const QByteArray &firstLine, const QString &detail)
{
    writeUpdateStatus(m_statusFile, firstLine, detail);
}

void Updater::end(const QByteArray &firstLine, const QString &detail, int exitCode)
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
        m_reply = nullptr;
    }
    m_file.reset();
    report(firstLine, detail);
    Q_EMIT finished(exitCode);
}

QNetworkReply *Updater::get(const QUrl &address)
{
    QNetworkRequest request(address);
    request.setTransferTimeout(kTransferTimeoutMs);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Junkwarden/%1").arg(programVersion()));
    m_reply = m_network->get(request);
    return m_reply;
}

void Updater::fail(QNetworkReply *reply, const QString &what)
{
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status == 401 || status == 403)
        end("AUTHERR", QStringLiteral("%1: the server refused it (HTTP %2)").arg(what).arg(status), 1);
    else
        end("CONNERR", QStringLiteral("%1: %2").arg(what, reply->errorString()), 1);
}

void Updater::start()
{
    if (!isFetchableAddress(m_feedAddress)) {
        end("CONNERR", QStringLiteral("the release feed's address is not HTTPS"), 1);
        return;
    }
    report("0");
    QNetworkReply *reply = get(m_feedAddress);
    connect(reply, &QNetworkReply::readyRead, this, [this, reply] {
        m_feedBytes += reply->readAll();
        if (m_feedBytes.size() > kMostFeedBytes)
            end("CONNERR", QStringLiteral("the release feed is too large"), 1);
    });
    connect(reply, &QNetworkReply::finished, this, &Updater::feedArrived);
}

void Updater::feedArrived()
{
    QNetworkReply *reply = m_reply;
    reply->deleteLater();
    m_reply = nullptr;
    if (reply->error() != QNetworkReply::NoError) {
        fail(reply, QStringLiteral("the release feed"));
        return;
    }
    m_feedBytes += reply->readAll();
    QString error;
    m_feed = parseReleaseFeed(m_feedBytes, m_feedAddress, &error);
    if (!m_feed) {
        end("CONNERR", error, 1);
        return;
    }
    if (compareVersions(m_feed->version, programVersion()) <= 0) {
        end("ACT", QStringLiteral("%1 is the newest version").arg(programVersion()), 0);
        return;
    }
    if (!m_installation.prepare(&error)) {
        end("CONNERR", error, 1);
        return;
    }
    report("5");
    fetchNext();
}

void Updater::fetchNext()
{
    if (m_next == m_feed->files.size()) {
        QString error;
        if (!m_installation.commit(*m_feed, &error)) {
            end("CONNERR", error, 1);
            return;
        }
        // At most ten characters travel as the version.
        end("N" + m_feed->version.left(10).toUtf8(), QStringLiteral("installed %1").arg(m_feed->version), 0);
        return;
    }
    const ReleaseFile &file = m_feed->files.at(m_next);
    m_file = std::make_unique<QFile>(m_installation.stagedPath(file.name));
    if (!m_file->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        end("CONNERR", QStringLiteral("cannot write %1").arg(m_file->fileName()), 1);
        return;
    }
    m_hash = std::make_unique<QCryptographicHash>(QCryptographicHash::Sha256);
    m_received = 0;
    QNetworkReply *reply = get(file.url);
    connect(reply, &QNetworkReply::readyRead, this, &Updater::fileData);
    connect(reply, &QNetworkReply::finished, this, &Updater::fileArrived);
}

void Updater::fileData()
{
    const QByteArray data = m_reply->readAll();
    m_received += data.size();
    if (m_received > kMostFileBytes) {
        end("CONNERR", QStringLiteral("%1 is larger than any release file").arg(m_feed->files.at(m_next).name), 1);
        return;
    }
    m_hash->addData(data);
    if (m_file->write(data) != data.size())
        end("CONNERR", QStringLiteral("cannot write %1").arg(m_file->fileName()), 1);
}

void Updater::fileArrived()
{
    QNetworkReply *reply = m_reply;
    reply->deleteLater();
    m_reply = nullptr;
    const ReleaseFile &file = m_feed->files.at(m_next);
    if (reply->error() != QNetworkReply::NoError) {
        fail(reply, file.name);
        return;
    }
    const QByteArray rest = reply->readAll();
    m_hash->addData(rest);
    // On the disk before the journal can name it.
    const bool written = m_file->write(rest) == rest.size() && m_file->flush() && ::fsync(m_file->handle()) == 0;
    m_file->close();
    if (!written) {
        end("CONNERR", QStringLiteral("cannot write %1").arg(m_file->fileName()), 1);
        return;
    }
    if (m_hash->result() != file.sha256) {
        end("CONNERR",
            QStringLiteral("the download of %1 does not match its SHA-256: nothing was installed").arg(file.name), 1);
        return;
    }
    ++m_next;
    report(QByteArray::number(5 + 90 * m_next / m_feed->files.size()));
    fetchNext();
}

int runUpdaterProgram(const QString &programFolder, const QString &feed)
{
    const QString data = dataFolderFor(programFolder);
    const QString status = data + QStringLiteral("status-update");
    if (data != programFolder) {
        writeUpdateStatus(status, "CONNERR", QStringLiteral("this installation is updated by the package manager"));
        return 1;
    }
    if (feed.isEmpty()) {
        writeUpdateStatus(status, "CONNERR", QStringLiteral("this build has no release feed"));
        return 1;
    }
    // An update a kill interrupted is finished before anything else.
    UpdateInstallation::finishPending(programFolder);
    Updater updater(programFolder, QUrl(feed), status);
    QObject::connect(&updater, &Updater::finished, QCoreApplication::instance(), &QCoreApplication::exit);
    QMetaObject::invokeMethod(&updater, &Updater::start, Qt::QueuedConnection);
    return QCoreApplication::exec();
}

} // namespace jw
