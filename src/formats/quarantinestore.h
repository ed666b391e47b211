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

// What the proxy keeps of one held-back message besides its source.
struct HeldMessage
{
    QString subject;
    QString sender;
    QString spamNote;
    QByteArray content; // the text or HTML the browser shows
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

    // The proxy's side.
    // The folder of a mail account: "user,server", as a routed mail client
    // names the account, so that a resend copy leads back to its account.
    static QString accountFolderName(const QString &user, const QString &server);
    // Stores a held message as a new file of the account folder (created
    // when missing), durably: written and synced under a temporary name,
    // then renamed. `source` hands the message source over in pieces.
    // Returns the file's path. Throws FileError.
    NativePath storeHeld(const QString &accountFolder, const QString &fileName, const HeldMessage &message,
                         const std::function<bool(const ContentWriter &)> &source) const;
    // The resend copies that the resend list holds for an account folder,
    // in list order, each once; copies that are gone are left out.
    QList<NativePath> resendCopiesOf(const QString &accountFolder) const;
    // The message source inside a resend copy (or a message file).
    static QByteArray sourceOfFile(const NativePath &path);
    // Deletes delivered resend copies and takes their lines out of the
    // resend list; every other line keeps its bytes. Throws FileError.
    void finishResends(const QList<NativePath> &copies) const;

private:
    static QByteArray setStatus(const NativePath &path, const QByteArray &status);

    QString m_messagesFolder;
    QString m_configFolder;
    QString m_subjectNull;
    QString m_fromNull;
};

} // namespace jw
