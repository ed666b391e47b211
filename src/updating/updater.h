#pragma once

#include "updating/installation.h"
#include "updating/releasefeed.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QObject>
#include <QUrl>

#include <memory>
#include <optional>

class QFile;
class QNetworkAccessManager;
class QNetworkReply;

namespace jw {

// One run of the updater: reads the release feed, and when it names a newer
// version than this one, downloads its files, checks each against its
// SHA-256 and installs them (UpdateInstallation). Reports in the update
// status file: percentages while it works, then one final first line
// ("N<version>" only once installed, "ACT" when nothing is newer,
// "CONNERR" when the feed or a download failed, "AUTHERR" when the server
// refused it) and, on the second line, what happened in words.
class Updater : public QObject
{
    Q_OBJECT
public:
    // Largest file and feed taken: a feed cannot fill the disk.
    static constexpr qint64 kMostFileBytes = 512LL * 1024 * 1024;
    static constexpr qint64 kMostFeedBytes = 256 * 1024;
    static constexpr int kTransferTimeoutMs = 30 * 1000;

    Updater(const QString &programFolder, const QUrl &feed, const QString &statusFile, QObject *parent = nullptr);
    ~Updater() override;

    void start();

Q_SIGNALS:
    void finished(int exitCode);

private:
    void feedArrived();
    void fetchNext();
    void fileData();
    void fileArrived();
    void report(const QByteArray &firstLine, const QString &detail = QString());
    void fail(QNetworkReply *reply, const QString &what);
    void end(const QByteArray &firstLine, const QString &detail, int exitCode);
    QNetworkReply *get(const QUrl &address);

    QString m_statusFile;
    QUrl m_feedAddress;
    UpdateInstallation m_installation;
    QNetworkAccessManager *m_network = nullptr;
    QNetworkReply *m_reply = nullptr;
    std::optional<ReleaseFeed> m_feed;
    qsizetype m_next = 0;
    std::unique_ptr<QFile> m_file;
    std::unique_ptr<QCryptographicHash> m_hash;
    qint64 m_received = 0;
    QByteArray m_feedBytes;
};

// Writes the update status file: its first line and, on the second, what
// happened in words (the update window reads the first only).
void writeUpdateStatus(const QString &statusFile, const QByteArray &firstLine, const QString &detail = QString());

// The updater program's whole run, for the program folder it lies in and
// the release feed it was built with: says why it cannot update where
// updates come from elsewhere, else updates. Returns its exit status.
int runUpdaterProgram(const QString &programFolder, const QString &feed);

} // namespace jw
