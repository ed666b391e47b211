#pragma once

#include "textfile/lines.h"
#include "textfile/nativefile.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace jw {

struct FolderEntry;

// One held-back message as the quarantine table lists it.
struct QuarantineRow
{
    QString sender;
    QString subject;
    QString received; // the file's modification time, in the user's format
    QString account; // the account folder's name
    NativePath path; // by its bytes: names need not be valid text
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
    // Files tried for one held message before the store gives up.
    static constexpr int kMaxHeldAttempts = 100;

    QuarantineStore(QString messagesFolder, QString configFolder, QString subjectNull, QString fromNull);

    // The rows of every valid message. An invalid file is deleted only when
    // it has not changed for a minute and no process has it open for
    // writing; a file that cannot be read is left alone.
    QList<QuarantineRow> scan(const QDateTime &now = QDateTime::currentDateTime()) const;
    // How many held messages are still "New" (not yet shown); reads only,
    // removes nothing.
    int countUnread() const;

    // The whole file, lines joined with CR LF. Throws FileError.
    static QByteArray readText(const NativePath &path);
    static QByteArray contentSection(const QByteArray &text);
    static QByteArray sourceSection(const QByteArray &text);

    // Sets line 3 to "Readed", lines counted as the scan counts them; every
    // other byte of the file stays. Throws FileError.
    static void markRead(const NativePath &path);
    // Deletes the message file; a failure is not reported.
    static void remove(const NativePath &path);
    // Deleted by the user, who so says it is spam: the file moves to the
    // hidden folder of messages to be learned as spam, which the proxy
    // learns and removes. Where it cannot move (or kMostSpamToLearn wait
    // already) it is removed unlearned.
    void removeAsSpam(const NativePath &path) const;
    // Those waiting to be learned, in name order.
    QList<NativePath> spamToLearn() const;
    static constexpr int kMostSpamToLearn = 1000;
    // Marks each message "Resend", writes its resend copy and appends the
    // copy's path to the resend list, in order. Calls `handled` after each
    // message. Throws FileError, after which the list is not written.
    void requestResend(const QList<NativePath> &paths, const std::function<void(int)> &handled = {}) const;

    static QString formatReceived(const QDateTime &modified);
    // What the preview reads of a message text: the value of a header field
    // ("to:" or "cc:"), and the charset it declares in its content or its
    // source's header.
    // (at most `most` bytes from there on, the lines after it too)
    static QByteArray headerValue(const QByteArray &text, const char *name, qsizetype most = 500);
    // A header field's value as `headerValue` gives it, its folded lines
    // joined and the lines after it left out.
    static QByteArray unfolded(const QByteArray &value);
    static QByteArray declaredCharset(const QByteArray &content, const QByteArray &source);
    // Whether the content is the message's HTML: the proxy keeps the HTML
    // part when there is one, so it is when any Content-Type of the source
    // (of the message or of a part) is text/html. Without a source, when
    // it looks like markup.
    static bool contentIsHtml(const QByteArray &content, const QByteArray &source);

    // The proxy's side.
    // The folder of a mailbox: "user,server" as a routed mail client names
    // the account, in lower case (one mailbox, one folder, however the name
    // is typed). Characters that could make two accounts meet or could not
    // stand in a name ("%", "/", ",", control characters, a leading ".")
    // are written as "%" and two hexadecimal digits of their UTF-8 bytes,
    // so different accounts never share a folder.
    static QString accountFolderName(const QString &user, const QString &server);
    // The account as the user reads it: the escapes undone.
    static QString accountOfFolder(const QString &folderName);
    // The folder name of earlier versions ("/" and a leading "." made "_",
    // case kept), where resend copies made before may still lie.
    static QString legacyAccountFolderName(const QString &user, const QString &server);

    // Stores a held message (its source handed over in pieces by `source`,
    // `digest` its SHA-256) in the account folder, durably: written and
    // synced under a temporary name, then renamed; mode 0600 in a folder of
    // mode 0700. A message already stored with the same UIDL and the same
    // bytes is not stored again; a different message never takes its file.
    // Returns the file's path. Throws FileError.
    NativePath storeHeld(const QString &accountFolder, const QByteArray &uidl, const QByteArray &digest,
        const HeldMessage &message, const std::function<bool(const ContentWriter &)> &source) const;
    // The file that already holds exactly this message, if one does.
    std::optional<NativePath> heldCopy(
        const QString &accountFolder, const QByteArray &uidl, const QByteArray &digest) const;
    // Removes what writers killed midway left behind in the account folders
    // (files that no process still writes) and makes the folders private
    // again. Returns how many files went.
    int removeLeftovers() const;
    // The resend copies that the resend list holds for an account folder,
    // in list order, each once; copies that are gone are left out.
    QList<NativePath> resendCopiesOf(const QString &accountFolder) const;
    // The message source inside a resend copy (or a message file).
    static QByteArray sourceOfFile(const NativePath &path);
    // A message file's status line ("New", "Readed", "Resend", "Delivered");
    // a resend copy's is "Delivered" when the message was delivered before.
    static QByteArray statusOfFile(const NativePath &path);
    // Deletes delivered resend copies and takes their lines out of the
    // resend list; every other line keeps its bytes. The held messages are
    // marked "Delivered". Throws FileError.
    void finishResends(const QList<NativePath> &copies) const;

private:
    // Each held message's file with its first five lines; `invalid`, when
    // given, is handed the files that are not (or not yet) messages.
    void forEachHeld(const std::function<void(const FolderEntry &account, const FolderEntry &file,
                         const NativePath &path, const QByteArrayView *lines)> &held,
        const std::function<void(const FolderEntry &file, const NativePath &path)> &invalid = {}) const;
    static QByteArray setStatus(const NativePath &path, const QByteArray &status);

    QString m_messagesFolder;
    QString m_configFolder;
    QString m_subjectNull;
    QString m_fromNull;
};

} // namespace jw
