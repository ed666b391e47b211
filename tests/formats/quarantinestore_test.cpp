#include "formats/quarantinestore.h"
#include "support/testfiles.h"
#include "textfile/errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

namespace jw::test {
namespace {

const QByteArray kMarker1 = "-----!!!!!-----!!!!!-----!!!!!-----!!!!!-----1";
const QByteArray kMarker2 = "-----!!!!!-----!!!!!-----!!!!!-----!!!!!-----2";

QByteArray message(const QByteArray &subject, const QByteArray &sender, const QByteArray &status = "New",
    const QByteArray &content = "<p>Hello</p>", const QByteArray &source = "To: me@x\r\n\r\nbody")
{
    return subject + "\r\n" + sender + "\r\n" + status + "\r\nscore 9.1\r\n" + kMarker1 + "\r\n" + content + "\r\n"
        + kMarker2 + "\r\n" + source + "\r\n";
}

void setModified(const QString &path, const QDateTime &when)
{
    utimbuf times{when.toSecsSinceEpoch(), when.toSecsSinceEpoch()};
    utime(QFile::encodeName(path).constData(), &times);
}

class QuarantineStoreTest : public ::testing::Test
{
protected:
    QString account(const QString &name)
    {
        QDir(folder.messagesPath()).mkpath(name);
        return folder.messagesPath() + name + QLatin1Char('/');
    }
    QuarantineStore store() const
    {
        return QuarantineStore(
            folder.messagesPath(), folder.configPath(), QStringLiteral("(no subject)"), QStringLiteral("(no sender)"));
    }
    TempProgramFolder folder;
    const QDateTime now = QDateTime::currentDateTime();
};

TEST_F(QuarantineStoreTest, ScanListsValidMessagesAndRemovesSettledInvalidOnes)
{
    const QString home = account(QStringLiteral("home@pop.example"));
    const QString hidden = account(QStringLiteral(".trash"));
    const struct
    {
        const char *name;
        QString folder;
        QByteArray content;
        bool listed;
        bool kept;
        bool fresh;
    } cases[] = {
        {"valid", home, message("Offer", "spam@x"), true, true, false},
        {"marker plus blank", home, QByteArray("s\r\nf\r\nNew\r\nn\r\n") + kMarker1 + " \r\nx", false, false, false},
        {"fewer than five lines", home, "s\r\nf\r\nNew\r\n", false, false, false},
        {"empty file", home, "", false, true, false},
        {"resend copy", home, "junk", false, true, false},
        {"hidden folder", hidden, message("h", "h"), false, true, false},
        {"directly in messages", folder.messagesPath(), message("d", "d"), false, true, false},
        {"zero and empty", home, message("0", ""), true, true, false},
        {"invalid but fresh", home, "still being writ", false, true, true},
        {"lone LF lines", home, "s\nf\nNew\nn\n" + kMarker1 + "\n", false, false, false},
        {"first line of 300 KB", home, message(QByteArray(300 * 1024, 's'), "long@x"), true, true, false},
        {"partial write", home, message("p", "p"), false, true, false},
        {"invalid, settled, held open for writing", home, "s\r\nf\r\nNew\r\n", false, true, false},
    };
    int n = 0;
    QStringList paths;
    for (const auto &c : cases) {
        const QString name = QString::fromLatin1(c.name).replace(QLatin1Char(' '), QLatin1Char('-'))
            + (QByteArray(c.name) == "resend copy"          ? QStringLiteral("_resend")
                    : QByteArray(c.name) == "partial write" ? QStringLiteral(".eml.partial-x1Y2z3")
                                                            : QString::number(n++));
        const QString path = c.folder + name;
        writeFile(path, c.content);
        setModified(path, c.fresh ? now.addSecs(-5) : now.addSecs(-3600));
        paths.append(path);
    }
    // The writer of the last file has it open still, stalled.
    QFile writer(paths.last());
    ASSERT_TRUE(writer.open(QIODevice::WriteOnly | QIODevice::Append));
    setModified(paths.last(), now.addSecs(-3600));
    const QList<QuarantineRow> rows = store().scan(now);
    writer.close();
    for (int i = 0; i < int(std::size(cases)); ++i) {
        SCOPED_TRACE(cases[i].name);
        const bool listed = std::any_of(
            rows.begin(), rows.end(), [&](const QuarantineRow &r) { return r.path == QFile::encodeName(paths[i]); });
        EXPECT_EQ(listed, cases[i].listed);
        EXPECT_EQ(QFile::exists(paths[i]), cases[i].kept);
    }
    ASSERT_EQ(rows.size(), 3);
    auto bySubject = [&rows](const QString &subject) {
        return *std::find_if(rows.begin(), rows.end(), [&](const QuarantineRow &r) { return r.subject == subject; });
    };
    const QuarantineRow offer = bySubject(QStringLiteral("Offer"));
    const QuarantineRow nulls = bySubject(QStringLiteral("(no subject)"));
    EXPECT_EQ(bySubject(QString(300 * 1024, QLatin1Char('s'))).sender, QStringLiteral("long@x"));
    EXPECT_EQ(offer.sender, QStringLiteral("spam@x"));
    EXPECT_EQ(offer.account, QStringLiteral("home@pop.example"));
    EXPECT_EQ(offer.status, QByteArray("New"));
    EXPECT_EQ(offer.spamNote, QStringLiteral("score 9.1"));
    EXPECT_EQ(nulls.subject, QStringLiteral("(no subject)"));
    EXPECT_EQ(nulls.sender, QStringLiteral("(no sender)"));
    // What a killed writer left goes when the proxy starts; the rest stays.
    EXPECT_EQ(store().removeLeftovers(), 1);
    EXPECT_EQ(store().scan(now).size(), 3);
}

TEST_F(QuarantineStoreTest, AccountFoldersMapMailboxesOneToOneAndReadBack)
{
    const struct
    {
        const char *user;
        const char *server;
        const char *folder;
    } cases[] = {
        {"ann", "pop.example", "ann,pop.example"},
        {"PAT", "Pop.Example ", "pat,pop.example"},
        {"a/b", "s", "a%2Fb,s"},
        {"a_b", "s", "a_b,s"},
        {"a%2Fb", "s", "a%252fb,s"},
        {".hidden", "s", "%2Ehidden,s"},
        {"x", "a,b", "x,a%2Cb"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.user);
        const QString folderName =
            QuarantineStore::accountFolderName(QString::fromUtf8(c.user), QString::fromUtf8(c.server));
        EXPECT_EQ(folderName, QString::fromUtf8(c.folder));
        EXPECT_EQ(QuarantineStore::accountOfFolder(folderName),
            QString::fromUtf8(c.user).toLower() + QLatin1Char(',') + QString::fromUtf8(c.server).trimmed().toLower());
    }
}

TEST_F(QuarantineStoreTest, ReceivedTimeLeavesOutMidnight)
{
    const QDateTime midnight(QDate(2026, 3, 4), QTime(0, 0));
    EXPECT_EQ(QuarantineStore::formatReceived(midnight), QLocale().toString(QDate(2026, 3, 4), QLocale::ShortFormat));
    const QDateTime evening(QDate(2026, 3, 4), QTime(21, 7, 9));
    const QString text = QuarantineStore::formatReceived(evening);
    EXPECT_TRUE(text.startsWith(QLocale().toString(QDate(2026, 3, 4), QLocale::ShortFormat) + QLatin1Char(' ')));
    EXPECT_TRUE(text.contains(QStringLiteral("07:08"))) << "two-second steps: " << text.toStdString();
    EXPECT_FALSE(text.contains(evening.timeZoneAbbreviation())) << "no zone name in a list of local times";
}

TEST_F(QuarantineStoreTest, SectionsWithAndWithoutMarkers)
{
    const QByteArray text = message("s", "f", "New", "<b>content</b>", "Header: x\r\n\r\nsource body");
    EXPECT_EQ(QuarantineStore::contentSection(text), QByteArray("\r\n<b>content</b>\r\n"));
    EXPECT_EQ(QuarantineStore::sourceSection(text), QByteArray("\r\nHeader: x\r\n\r\nsource body\r\n"));
    const QByteArray noSecond = "s\r\nf\r\nNew\r\nn\r\n" + kMarker1 + "\r\nonly content\r\n";
    EXPECT_EQ(QuarantineStore::contentSection(noSecond), QByteArray());
    EXPECT_EQ(QuarantineStore::sourceSection(noSecond), QByteArray());
    EXPECT_EQ(QuarantineStore::contentSection("nothing"), QByteArray());
}

// Marking read changes the status line the scan reads, and no other byte:
// a lone LF inside a header line does not move it.
// Gives a message file the time it was held, an hour ago; returns it.
QDateTime heldAt(const QString &path)
{
    const QDateTime held = QDateTime::currentDateTime().addSecs(-3600);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadWrite) && file.setFileTime(held, QFileDevice::FileModificationTime));
    return held;
}

TEST_F(QuarantineStoreTest, MarkReadChangesOnlyTheStatusTheScanReads)
{
    const struct
    {
        const char *name;
        QByteArray before;
        QByteArray after;
    } cases[] = {
        {"CR LF lines", message("s", "f"), message("s", "f", "Readed")},
        {"lone LF inside the subject", "Sub\nject\r\nf\r\nNew\r\nn\r\n" + kMarker1 + "\r\nc\nd\r\n",
            "Sub\nject\r\nf\r\nReaded\r\nn\r\n" + kMarker1 + "\r\nc\nd\r\n"},
        {"lone CR breaks, last line open", "s\rf\rNew\rn\r" + kMarker1 + "\rcontent",
            "s\rf\rReaded\rn\r" + kMarker1 + "\rcontent"},
    };
    const QString folderA = account(QStringLiteral("a"));
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = folderA + QStringLiteral("m1");
        writeFile(path, c.before);
        const QDateTime held = heldAt(path);
        QuarantineStore::markRead(QFile::encodeName(path));
        EXPECT_EQ(readFile(path), c.after);
        EXPECT_EQ(QFileInfo(path).lastModified(), held) << "the date it was held stays";
        const QList<QuarantineRow> rows = store().scan(now.addSecs(3600));
        ASSERT_EQ(rows.size(), 1) << "still valid";
        EXPECT_EQ(rows[0].status, QByteArray("Readed"));
    }
    EXPECT_THROW(QuarantineStore::markRead(QFile::encodeName(folderA) + "gone"), FileError);
}

// Folders and files named in an 8-bit code page are listed, read, marked,
// resent and deleted by their real bytes.
TEST_F(QuarantineStoreTest, EightBitNamesAreReachedByTheirBytes)
{
    const QByteArray folderName = "caf\xe9";
    const QByteArray accountFolder = QFile::encodeName(folder.messagesPath()) + folderName + '/';
    ASSERT_EQ(::mkdir(accountFolder.constData(), 0700), 0);
    const QByteArray path = accountFolder + "m\xe9ssage";
    writeNativeFileAtomically(path, message("s", "f"));
    const QList<QuarantineRow> rows = store().scan(now);
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].account, QStringLiteral(u"café"));
    EXPECT_EQ(rows[0].path, path);
    EXPECT_TRUE(QuarantineStore::readText(rows[0].path).contains("<p>Hello</p>"));
    QuarantineStore::markRead(rows[0].path);
    EXPECT_EQ(readNativeFile(path), message("s", "f", "Readed"));
    store().requestResend({rows[0].path});
    EXPECT_EQ(readNativeFile(path + "_resend"), message("s", "f", "Resend"));
    EXPECT_EQ(readFile(folder.configPath() + QStringLiteral("to_resend")), path + "_resend\r\n");
    QuarantineStore::remove(rows[0].path);
    EXPECT_FALSE(readNativeFile(path).has_value());
    EXPECT_TRUE(store().scan(now).isEmpty());
}

TEST_F(QuarantineStoreTest, ResendWritesCopiesAndAppendsTheListInOrder)
{
    const QString folderA = account(QStringLiteral("a"));
    writeFile(folderA + QStringLiteral("m1"), message("one", "x"));
    writeFile(folderA + QStringLiteral("m2"), message("two", "y", "Readed"));
    const QDateTime held = heldAt(folderA + QStringLiteral("m1"));
    writeFile(folder.configPath() + QStringLiteral("to_resend"), "/earlier/copy_resend");
    QList<int> handled;
    store().requestResend(
        {QFile::encodeName(folderA + QStringLiteral("m2")), QFile::encodeName(folderA + QStringLiteral("m1"))},
        [&handled](int i) { handled.append(i); });
    EXPECT_EQ(handled, (QList<int>{0, 1}));
    EXPECT_EQ(readFile(folder.configPath() + QStringLiteral("to_resend")),
        "/earlier/copy_resend\r\n" + QFile::encodeName(folderA) + "m2_resend\r\n" + QFile::encodeName(folderA)
            + "m1_resend\r\n");
    EXPECT_EQ(readFile(folderA + QStringLiteral("m1_resend")), message("one", "x", "Resend"));
    EXPECT_EQ(readFile(folderA + QStringLiteral("m1")), message("one", "x", "Resend"));
    EXPECT_EQ(QFileInfo(folderA + QStringLiteral("m1")).lastModified(), held);
    EXPECT_EQ(store().scan(now).size(), 2) << "copies are never listed";

    // A message that vanished stops the request; the list is not written.
    const QByteArray list = readFile(folder.configPath() + QStringLiteral("to_resend"));
    EXPECT_THROW(store().requestResend({QFile::encodeName(folderA + QStringLiteral("m1")),
                     QFile::encodeName(folderA + QStringLiteral("gone"))}),
        FileError);
    EXPECT_EQ(readFile(folder.configPath() + QStringLiteral("to_resend")), list);
}

} // namespace
} // namespace jw::test
