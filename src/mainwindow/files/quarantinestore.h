#pragma once

#include "textfile/lines.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace jw {

// One held-back message as the quarantine table lists it.
struct QuarantineRow
{
    QString sender;
    QString subject;
    QString received; // the file's modification time, in the user's format
    QString account;  // the account folder's name
    QString path;
    QByteArray status; // "New", "Readed", "Resend", or anything else
    QString spamNote;
};

// The quarantine store: one folder per account under the messages folder,
// one file per message. Lines 1 to 4 hold subject, sender, status and spam
// note; line 5 is the first section marker; then the content section, the
// second marker, and the message source.
class QuarantineStore
{
public:
    static constexpr char kMarker[] = "-----!!!!!-----!!!!!-----!!!!!-----!!!!!-----";
    static constexpr char kResendTag[] = "_resend";
    static constexpr char kResendList[] = "to_resend";
    static constexpr qsizetype kMaxSourceLength = 10000000;
    // An invalid file younger than this may still be being written.
    static constexpr qint64 kSettleSeconds = 60;

    QuarantineStore(QString messagesFolder, QString configFolder, QString subjectNull, QString fromNull);

    // The rows of every valid message. Invalid files that have not changed
    // for a minute are deleted; younger ones are passed over.
    QList<QuarantineRow> scan(const QDateTime &now = QDateTime::currentDateTime()) const;

    // The whole file, lines joined with CR LF. Throws FileError.
    static QByteArray readText(const QString &path);
    static QByteArray contentSection(const QByteArray &text);
    static QByteArray sourceSection(const QByteArray &text);

    // Sets line 3 to "Readed". Throws FileError.
    static void markRead(const QString &path);
    // Deletes the message file; a failure is not reported.
    static void remove(const QString &path);
    // Marks each message "Resend", writes its resend copy and appends the
    // copy's path to the resend list, in order. Calls `handled` after each
    // message. Throws FileError, after which the list is not written.
    void requestResend(const QStringList &paths, const std::function<void(int)> &handled = {}) const;

    static QString formatReceived(const QDateTime &modified);

private:
    static Lines setStatus(const QString &path, const QByteArray &status);

    QString m_messagesFolder;
    QString m_configFolder;
    QString m_subjectNull;
    QString m_fromNull;
};

} // namespace jw
