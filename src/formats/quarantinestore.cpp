#include "formats/quarantinestore.h"

#include "formats/filterlistfiles.h"
#include "platform/folderlisting.h"
#include "textfile/codec.h"
#include "textfile/errors.h"

#include <QCryptographicHash>
#include <QHash>
#include <QLocale>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace jw {

namespace {

const QByteArray kFirstMarker = QByteArray(QuarantineStore::kMarker) + '1';
const QByteArray kSecondMarker = QByteArray(QuarantineStore::kMarker) + '2';

constexpr qsizetype kHeadBytes = 4096;

// The first five lines, by the status files' rule: CR (or CR LF) ends a
// line, 0x1A ends the file; missing lines are empty. `head` is the start of
// the file; when its first lines are longer than that, the whole file is read
// into `whole`, however long they are. The lines are views into one of the
// two. nullopt when the file could not be read: it is then not judged at all.
struct HeadLines
{
    std::array<QByteArrayView, 5> line;
};

HeadLines firstFiveLines(QByteArrayView text, bool &complete)
{
    HeadLines lines;
    int count = 0;
    complete = false;
    forEachLine(text, LineRule::CrBreakSubEnds, [&](qsizetype start, qsizetype length) {
        if (count == 5) {
            complete = true; // a sixth line proves the fifth complete
            return false;
        }
        lines.line[size_t(count++)] = text.sliced(start, length);
        return true;
    });
    return lines;
}

std::optional<HeadLines> headLines(const NativePath &path, const QByteArray &head, qint64 fileSize, QByteArray &whole)
{
    bool complete = false;
    const HeadLines lines = firstFiveLines(head, complete);
    if (complete || head.size() >= fileSize)
        return lines;
    const std::optional<QByteArray> read = readNativeFile(path);
    if (!read)
        return std::nullopt;
    whole = *read;
    return firstFiveLines(whole, complete);
}

// Status texts as the store writes them, shared by every row that has them.
QByteArray sharedStatus(QByteArrayView status)
{
    static const QByteArray known[] = {QByteArrayLiteral("New"), QByteArrayLiteral("Readed"),
        QByteArrayLiteral("Resend"), QByteArrayLiteral("Delivered")};
    for (const QByteArray &k : known) {
        if (status == k)
            return k;
    }
    return status.toByteArray();
}

// The content with line 3 replaced. Lines are counted as the scan counts
// them (CR or CR LF ends a line; a lone LF is part of its line), so the line
// changed is the one the scan reads as the status, and nothing else moves.
QByteArray withStatus(const QByteArray &content, const QByteArray &status)
{
    QByteArray out = content;
    qsizetype start = 0;
    for (int line = 0; line < 2; ++line) {
        const qsizetype cr = out.indexOf('\r', start);
        if (cr < 0) {
            // Fewer lines than that: the missing ones are empty.
            out.append("\r\n");
            start = out.size();
            continue;
        }
        start = cr + 1;
        if (start < out.size() && out[start] == '\n')
            ++start;
    }
    qsizetype end = out.indexOf('\r', start);
    if (end < 0)
        end = out.size();
    return out.replace(start, end - start, status);
}

// Formats received times. The locale's formats are looked up once a scan,
// and the time zone's offset once per hour of file times: asking the system
// for every one of thousands of messages costs more than the rest of the
// scan together.
class ReceivedFormat
{
public:
    ReceivedFormat()
        : m_date(m_locale.dateFormat(QLocale::ShortFormat))
        , m_time(withoutTimeZone(m_locale.timeFormat(QLocale::LongFormat)))
    {
    }

    QString format(qint64 secs) const
    {
        const qint64 hour = secs / 3600;
        auto offset = m_offsets.constFind(hour);
        if (offset == m_offsets.constEnd())
            offset = m_offsets.insert(hour, localUtcOffset(secs));
        const QDateTime local = QDateTime::fromSecsSinceEpoch(secs + *offset, Qt::UTC);
        // Shown at the two-second steps the store's times have always had.
        const QTime time(local.time().hour(), local.time().minute(), local.time().second() & ~1);
        QString text = m_locale.toString(local.date(), m_date);
        if (time != QTime(0, 0))
            text += QLatin1Char(' ') + m_locale.toString(time, m_time);
        return text;
    }

private:
    // The zone's name adds nothing to a list of local times.
    static QString withoutTimeZone(const QString &format)
    {
        QString out;
        bool quoted = false;
        for (const QChar c : format) {
            if (c == QLatin1Char('\''))
                quoted = !quoted;
            if (!quoted && c == QLatin1Char('t'))
                continue;
            out += c;
        }
        return out.trimmed();
    }

    QLocale m_locale;
    QString m_date;
    QString m_time;
    mutable QHash<qint64, int> m_offsets;
};

} // namespace

QuarantineStore::QuarantineStore(QString messagesFolder, QString configFolder, QString subjectNull, QString fromNull)
    : m_messagesFolder(std::move(messagesFolder))
    , m_configFolder(std::move(configFolder))
    , m_subjectNull(std::move(subjectNull))
    , m_fromNull(std::move(fromNull))
{
}

QString QuarantineStore::formatReceived(const QDateTime &modified)
{
    return ReceivedFormat().format(modified.toSecsSinceEpoch());
}

void QuarantineStore::forEachHeld(const std::function<void(const FolderEntry &account, const FolderEntry &file,
                                      const NativePath &path, const QByteArrayView *lines)> &held,
    const std::function<void(const FolderEntry &file, const NativePath &path)> &invalid) const
{
    const NativePath messages = nativePath(m_messagesFolder);
    for (const FolderEntry &account : listFolder(messages)) {
        // Hidden folders are not accounts; files here are not messages.
        if (!account.isFolder || account.nativeName.startsWith('.'))
            continue;
        const NativePath folder = messages + account.nativeName + '/';
        forEachFileHead(folder, kHeadBytes, [&](const FolderEntry &file, const QByteArray &head) {
            // A file still being written (or left by a writer that was
            // killed) is not a message: the proxy clears those away.
            if (file.size <= 0 || file.nativeName.contains(kResendTag) || isPartialWrite(file.nativeName))
                return;
            const NativePath path = folder + file.nativeName;
            QByteArray whole;
            const std::optional<HeadLines> read = headLines(path, head, file.size, whole);
            if (!read)
                return;
            if (read->line[4] != kFirstMarker) {
                if (invalid)
                    invalid(file, path);
                return;
            }
            held(account, file, path, read->line.data());
        });
    }
}

QList<QuarantineRow> QuarantineStore::scan(const QDateTime &now) const
{
    QList<QuarantineRow> rows;
    const ReceivedFormat received;
    const qint64 settledBefore = now.toSecsSinceEpoch() - kSettleSeconds;
    forEachHeld(
        [&](const FolderEntry &account, const FolderEntry &file, const NativePath &path, const QByteArrayView *lines) {
            QuarantineRow row;
            const QByteArrayView subject = lines[0];
            const QByteArrayView sender = lines[1];
            row.subject = subject.isEmpty() || subject == "0" ? m_subjectNull : decodeDisplay(subject);
            row.sender = sender.isEmpty() || sender == "0" ? m_fromNull : decodeDisplay(sender);
            row.received = received.format(file.modifiedSecs);
            row.account = accountOfFolder(account.name);
            row.path = path;
            row.status = sharedStatus(lines[2]);
            row.spamNote = decodeDisplay(lines[3]);
            rows.append(std::move(row));
        },
        [&](const FolderEntry &file, const NativePath &path) {
            // Maybe still being written: only a settled file that no
            // process holds open for writing is removed.
            if (file.modifiedSecs <= settledBefore && !isOpenForWriting(path))
                removeNativeFile(path);
        });
    return rows;
}

int QuarantineStore::countUnread() const
{
    int unread = 0;
    forEachHeld([&unread](const FolderEntry &, const FolderEntry &, const NativePath &, const QByteArrayView *lines) {
        unread += lines[2] == "New" ? 1 : 0;
    });
    return unread;
}

QByteArray QuarantineStore::readText(const NativePath &path)
{
    const std::optional<QByteArray> content = readNativeFile(path);
    if (!content)
        throw FileError::cannotOpen(displayPath(path));
    return withCrLfBreaks(*content);
}

QByteArray QuarantineStore::contentSection(const QByteArray &text)
{
    const qsizetype first = text.indexOf(kFirstMarker);
    if (first < 0)
        return {};
    const qsizetype start = first + kFirstMarker.size();
    const qsizetype second = text.indexOf(kSecondMarker, start);
    if (second < 0)
        return {};
    return text.mid(start, second - start);
}

QByteArray QuarantineStore::sourceSection(const QByteArray &text)
{
    const qsizetype second = text.indexOf(kSecondMarker);
    if (second < 0)
        return {};
    return text.mid(second + kSecondMarker.size(), kMaxSourceLength);
}

QByteArray QuarantineStore::statusOfFile(const NativePath &path)
{
    const std::optional<QByteArray> head = readNativeFileHead(path, kHeadBytes);
    if (!head)
        return {};
    bool complete = false;
    return firstFiveLines(*head, complete).line[2].toByteArray();
}

QByteArray QuarantineStore::setStatus(const NativePath &path, const QByteArray &status)
{
    const std::optional<QByteArray> content = readNativeFile(path);
    if (!content)
        throw FileError::cannotOpen(displayPath(path));
    // The row's date is the file's time, when the message was held: a
    // change of status keeps it.
    struct stat held = {};
    const bool known = ::stat(path.constData(), &held) == 0;
    const QByteArray changed = withStatus(*content, status);
    writeNativeFileAtomically(path, changed);
    if (known) {
        const timespec times[2] = {{0, UTIME_NOW}, held.st_mtim};
        ::utimensat(AT_FDCWD, path.constData(), times, 0);
    }
    return changed;
}

void QuarantineStore::markRead(const NativePath &path)
{
    setStatus(path, "Readed");
}

void QuarantineStore::remove(const NativePath &path)
{
    removeNativeFile(path);
}

namespace {

constexpr char kSpamToLearnFolder[] = ".learn-spam/";

} // namespace

void QuarantineStore::removeAsSpam(const NativePath &path) const
{
    const NativePath folder = nativePath(m_messagesFolder) + kSpamToLearnFolder;
    ::mkdir(folder.constData(), 0700);
    const qsizetype slash = path.lastIndexOf('/');
    const NativePath target = folder + path.mid(slash + 1);
    const bool room = listFolder(folder).size() < kMostSpamToLearn;
    // Never over a message already waiting (the same one deleted twice).
    if (!room || ::access(target.constData(), F_OK) == 0 || ::rename(path.constData(), target.constData()) != 0)
        removeNativeFile(path);
}

QList<NativePath> QuarantineStore::spamToLearn() const
{
    const NativePath folder = nativePath(m_messagesFolder) + kSpamToLearnFolder;
    QList<NativePath> paths;
    for (const FolderEntry &file : listFolder(folder)) {
        if (!file.isFolder && !isPartialWrite(file.nativeName))
            paths.append(folder + file.nativeName);
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

QString QuarantineStore::accountFolderName(const QString &user, const QString &server)
{
    const auto escaped = [](const QString &part, QByteArray &out) {
        const QByteArray bytes = part.toLower().toUtf8();
        for (const char c : bytes) {
            const uchar u = uchar(c);
            if (u < 0x20 || u == 0x7f || c == '%' || c == '/' || c == ',' || (out.isEmpty() && c == '.'))
                out += '%' + QByteArray::number(u, 16).rightJustified(2, '0').toUpper();
            else
                out += c;
        }
    };
    QByteArray name;
    escaped(user, name);
    name += ',';
    escaped(server.trimmed(), name);
    return QString::fromUtf8(name);
}

QString QuarantineStore::accountOfFolder(const QString &folderName)
{
    if (!folderName.contains(QLatin1Char('%')))
        return folderName;
    return QString::fromUtf8(QByteArray::fromPercentEncoding(folderName.toUtf8()));
}

QString QuarantineStore::legacyAccountFolderName(const QString &user, const QString &server)
{
    QString name = user + QLatin1Char(',') + server;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    if (name.startsWith(QLatin1Char('.')))
        name.replace(0, 1, QLatin1Char('_'));
    return name;
}

namespace {

constexpr auto kPrivateFile = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// A held message's file name: from the account, the UIDL and the bytes, so
// fetching the same message again finds its file, and another message with
// the same UIDL (a server that reuses them) gets a file of its own.
QString heldFileName(const QString &accountFolder, const QByteArray &uidl, const QByteArray &digest, int attempt)
{
    const QByteArray key = accountFolder.toUtf8() + '\0' + uidl + '\0' + digest;
    QString name = QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(24));
    if (attempt > 0)
        name += QLatin1Char('-') + QString::number(attempt);
    return name + QStringLiteral(".eml");
}

QByteArray sourceDigest(const QByteArray &fileContent)
{
    const qsizetype second = fileContent.indexOf(kSecondMarker);
    if (second < 0)
        return {};
    qsizetype start = second + kSecondMarker.size();
    if (fileContent.mid(start, 2) == "\r\n")
        start += 2;
    return QCryptographicHash::hash(QByteArrayView(fileContent).sliced(start), QCryptographicHash::Sha256);
}

void makePrivateFolder(const NativePath &folder)
{
    ::mkdir(folder.constData(), 0700);
    ::chmod(folder.constData(), 0700);
}

} // namespace

std::optional<NativePath> QuarantineStore::heldCopy(
    const QString &accountFolder, const QByteArray &uidl, const QByteArray &digest) const
{
    const NativePath folder = nativePath(m_messagesFolder + accountFolder) + '/';
    for (int attempt = 0; attempt < kMaxHeldAttempts; ++attempt) {
        const NativePath path = folder + nativePath(heldFileName(accountFolder, uidl, digest, attempt));
        const std::optional<QByteArray> content = readNativeFile(path);
        if (!content)
            return std::nullopt;
        if (sourceDigest(*content) == digest)
            return path;
    }
    return std::nullopt;
}

NativePath QuarantineStore::storeHeld(const QString &accountFolder, const QByteArray &uidl, const QByteArray &digest,
    const HeldMessage &message, const std::function<bool(const ContentWriter &)> &source) const
{
    const NativePath messages = nativePath(m_messagesFolder);
    const NativePath folder = nativePath(m_messagesFolder + accountFolder);
    makePrivateFolder(messages);
    makePrivateFolder(folder);
    // One line each: a line break inside would shift every later line.
    const auto line = [](const QString &text) -> QByteArray {
        QByteArray bytes = text.toUtf8();
        bytes.replace('\r', ' ').replace('\n', ' ');
        return bytes + "\r\n";
    };
    QByteArray content = withCrLfBreaks(message.content);
    if (!content.endsWith('\n'))
        content += "\r\n";
    const QByteArray head = line(message.subject) + line(message.sender) + "New\r\n" + line(message.spamNote)
        + kFirstMarker + "\r\n" + content + kSecondMarker + "\r\n";
    for (int attempt = 0; attempt < kMaxHeldAttempts; ++attempt) {
        const NativePath path = folder + '/' + nativePath(heldFileName(accountFolder, uidl, digest, attempt));
        const std::optional<QByteArray> there = readNativeFile(path);
        if (there && sourceDigest(*there) == digest)
            return path; // stored before, byte for byte
        struct stat info = {};
        if (there || ::lstat(path.constData(), &info) == 0)
            continue; // another message's file, or one that cannot be read: never replaced
        writeNativeFileAtomically(
            path, [&head, &source](const ContentWriter &write) { return write(head) && source(write); }, kPrivateFile);
        // The new folder entry itself made durable too.
        if (const int dir = ::open(messages.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
        return path;
    }
    throw FileError::cannotCreate(displayPath(folder));
}

int QuarantineStore::removeLeftovers() const
{
    int removed = 0;
    const NativePath messages = nativePath(m_messagesFolder);
    for (const FolderEntry &account : listFolder(messages)) {
        if (!account.isFolder || account.nativeName.startsWith('.'))
            continue;
        const NativePath folder = messages + account.nativeName + '/';
        ::chmod(folder.constData(), 0700);
        for (const FolderEntry &file : listFolder(folder)) {
            const NativePath path = folder + file.nativeName;
            if (!file.isFolder && isPartialWrite(file.nativeName) && !isOpenForWriting(path) && removeNativeFile(path))
                ++removed;
        }
    }
    return removed;
}

QList<NativePath> QuarantineStore::resendCopiesOf(const QString &accountFolder) const
{
    const ListFile list = readListFile(m_configFolder + QLatin1String(kResendList));
    const NativePath prefix = nativePath(m_messagesFolder + accountFolder) + '/';
    QList<NativePath> copies;
    for (const QByteArray &entry : list.lines) {
        if (entry.startsWith(prefix) && entry.indexOf('/', prefix.size()) < 0 && !copies.contains(entry)
            && readNativeFileHead(entry, 1))
            copies.append(entry);
    }
    return copies;
}

QByteArray QuarantineStore::sourceOfFile(const NativePath &path)
{
    const std::optional<QByteArray> content = readNativeFile(path);
    if (!content)
        throw FileError::cannotOpen(displayPath(path));
    const qsizetype second = content->indexOf(kSecondMarker);
    if (second < 0)
        return {};
    qsizetype start = second + kSecondMarker.size();
    if (content->mid(start, 2) == "\r\n")
        start += 2;
    return content->mid(start);
}

void QuarantineStore::finishResends(const QList<NativePath> &copies) const
{
    if (copies.isEmpty())
        return;
    const QString listPath = m_configFolder + QLatin1String(kResendList);
    const std::optional<QByteArray> before = readNativeFile(nativePath(listPath));
    if (before) {
        // Only whole lines naming a delivered copy go; everything else,
        // line ends included, stays as it was.
        QByteArray after;
        qsizetype start = 0;
        while (start < before->size()) {
            qsizetype end = before->indexOf('\n', start);
            end = end < 0 ? before->size() : end + 1;
            const QByteArray line = before->mid(start, end - start);
            QByteArray entry = line;
            while (entry.endsWith('\n') || entry.endsWith('\r'))
                entry.chop(1);
            if (!copies.contains(entry))
                after += line;
            start = end;
        }
        if (after != *before)
            writeNativeFileAtomically(nativePath(listPath), after);
    }
    for (const NativePath &copy : copies) {
        removeNativeFile(copy);
        // The held message says that its release reached the mail program
        // (unless the user deleted it meanwhile).
        const NativePath held = copy.chopped(qsizetype(sizeof(kResendTag)) - 1);
        if (copy.endsWith(kResendTag) && ::access(held.constData(), F_OK) == 0)
            setStatus(held, "Delivered");
    }
}

void QuarantineStore::requestResend(const QList<NativePath> &paths, const std::function<void(int)> &handled) const
{
    const QString listPath = m_configFolder + QLatin1String(kResendList);
    ListFile list = readListFile(listPath);
    if (list.state == ListFile::State::Unreadable)
        throw FileError::cannotOpen(listPath);
    for (int i = 0; i < paths.size(); ++i) {
        // A message the mail program has had before goes again; its copy
        // says so ("Delivered"), so that it is not learned twice.
        const bool again = statusOfFile(paths[i]) == "Delivered";
        const QByteArray content = setStatus(paths[i], "Resend");
        const NativePath copy = paths[i] + kResendTag;
        writeNativeFileAtomically(copy, again ? withStatus(content, "Delivered") : content, kPrivateFile);
        list.lines.append(copy);
        if (handled)
            handled(i);
    }
    writeLines(listPath, list.lines);
}

QByteArray QuarantineStore::headerValue(const QByteArray &text, const char *name, qsizetype most)
{
    // The first line that starts with the name, in any case. Line by line
    // rather than over a lower-case copy: a message can be 50 MB.
    const qsizetype length = qsizetype(qstrlen(name));
    for (qsizetype at = text.indexOf('\n'); at >= 0; at = text.indexOf('\n', at + 1)) {
        if (text.size() - at - 1 >= length && qstrnicmp(text.constData() + at + 1, name, size_t(length)) == 0) {
            // One character after the colon (normally the blank) is skipped.
            return text.mid(at + 1 + length + 1, most);
        }
    }
    return {};
}

QByteArray QuarantineStore::unfolded(const QByteArray &value)
{
    QByteArray out;
    qsizetype at = 0;
    while (at < value.size()) {
        qsizetype end = value.indexOf('\n', at);
        if (end < 0)
            end = value.size();
        QByteArrayView line = QByteArrayView(value).sliced(at, end - at);
        if (line.endsWith('\r'))
            line.chop(1);
        out += line;
        at = end + 1;
        if (at >= value.size() || (value[at] != ' ' && value[at] != '\t'))
            break;
    }
    return out;
}

bool QuarantineStore::contentIsHtml(const QByteArray &content, const QByteArray &source)
{
    if (source.trimmed().isEmpty())
        return content.contains('<') && content.contains('>');
    // Each line that starts a Content-Type field, with its folded
    // continuation lines.
    constexpr QByteArrayView kField("content-type:");
    qsizetype at = 0;
    while (at < source.size()) {
        qsizetype end = source.indexOf('\n', at);
        if (end < 0)
            end = source.size();
        const QByteArrayView line = QByteArrayView(source).sliced(at, end - at);
        at = end + 1;
        if (line.size() < kField.size() || line.first(kField.size()).compare(kField, Qt::CaseInsensitive) != 0)
            continue;
        QByteArray value = line.sliced(kField.size()).toByteArray();
        while (at < source.size() && (source[at] == ' ' || source[at] == '\t')) {
            end = source.indexOf('\n', at);
            if (end < 0)
                end = source.size();
            value += QByteArrayView(source).sliced(at, end - at);
            at = end + 1;
        }
        if (value.trimmed().toLower().startsWith("text/html"))
            return true;
    }
    return false;
}

QByteArray QuarantineStore::declaredCharset(const QByteArray &content, const QByteArray &source)
{
    auto charsetAfter = [](const QByteArray &lower, qsizetype from, qsizetype until) -> QByteArray {
        const qsizetype at = lower.indexOf("charset=", from);
        if (at < 0 || (until >= 0 && at > until))
            return {};
        qsizetype start = at + 8;
        while (start < lower.size() && (lower[start] == '"' || lower[start] == '\'' || lower[start] == ' '))
            ++start;
        qsizetype end = start;
        while (end < lower.size()
            && (std::isalnum(static_cast<unsigned char>(lower[end])) || lower[end] == '-' || lower[end] == '_'
                || lower[end] == ':' || lower[end] == '.'))
            ++end;
        return lower.mid(start, end - start);
    };
    const QByteArray html = content.left(64 * 1024).toLower();
    for (qsizetype meta = html.indexOf("<meta"); meta >= 0; meta = html.indexOf("<meta", meta + 5)) {
        const qsizetype close = html.indexOf('>', meta);
        const QByteArray found = charsetAfter(html, meta, close);
        if (!found.isEmpty())
            return found;
    }
    qsizetype headerEnd = source.indexOf("\r\n\r\n", 2);
    if (headerEnd < 0)
        headerEnd = qMin<qsizetype>(source.size(), 64 * 1024);
    const QByteArray header = source.left(headerEnd).toLower();
    const qsizetype type = header.indexOf("content-type:");
    if (type < 0)
        return {};
    qsizetype lineEnd = header.indexOf("\r\n", type);
    // A header line may continue on lines that begin with blanks.
    while (lineEnd >= 0 && lineEnd + 2 < header.size() && (header[lineEnd + 2] == ' ' || header[lineEnd + 2] == '\t'))
        lineEnd = header.indexOf("\r\n", lineEnd + 2);
    return charsetAfter(header, type, lineEnd);
}

} // namespace jw
