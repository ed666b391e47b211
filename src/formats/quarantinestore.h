#pragma once

#include "textfile/lines.h"
#include "textfile/nativefile.h"

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
    NativePath path;  // by its bytes: names need not be valid text
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

    // The rows of every valid message. An invalid file is deleted only when
    // it has not changed for a minute and no process has it open for
    // writing; a file that cannot be read is left alone.
    QList<QuarantineRow> scan(const QDateTime &now = QDateTime::currentDateTime()) const;

    // The whole file, lines joined with CR LF. Throws FileError.
    static QByteArray readText(const NativePath &path);
    static QByteArray contentSection(const QByteArray &text);
    static QByteArray sourceSection(const QByteArray &text);

    // Sets line 3 to "Readed", lines counted as the scan counts them; every
    // other byte of the file stays. Throws FileError.
    static void markRead(const NativePath &path);
    // Deletes the message file; a failure is not reported.
    static void remove(const NativePath &path);
    // Marks each message "Resend", writes its resend copy and appends the
    // copy's path to the resend list, in order. Calls `handled` after each
    // message. Throws FileError, after which the list is not written.
    void requestResend(const QList<NativePath> &paths, const std::function<void(int)> &handled = {}) const;

    static QString formatReceived(const QDateTime &modified);

private:
    static QByteArray setStatus(const NativePath &path, const QByteArray &status);

    QString m_messagesFolder;
    QString m_configFolder;
    QString m_subjectNull;
    QString m_fromNull;
};

} // namespace jw
