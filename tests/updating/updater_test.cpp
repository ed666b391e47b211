// The updater against a local HTTP server: installs only a newer version
// whose every file matches the feed's SHA-256, never leaves half a program.
#include "support/testfiles.h"
#include "updating/installation.h"
#include "updating/releasefeed.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace jw::test {
namespace {

QByteArray sha(const QByteArray &data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex();
}

class UpdaterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QFile::copy(QStringLiteral(JW_UPDATER_DRIVER), folder.file(QStringLiteral("update")));
        writeFile(folder.file(QStringLiteral("vexel3")), "old vexel3");
        QFile::setPermissions(folder.file(QStringLiteral("vexel3")),
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup
                | QFileDevice::ExeGroup);
        QDir().mkpath(folder.file(QStringLiteral("help")));
        writeFile(folder.file(QStringLiteral("help/0.html")), "old help");
        server.start(QStringLiteral("python3"), {QStringLiteral(JW_FEED_SERVER), site.path()});
        ASSERT_TRUE(server.waitForReadyRead(10000));
        port = server.readLine().trimmed().toInt();
        ASSERT_GT(port, 0);
    }
    void TearDown() override
    {
        server.kill();
        server.waitForFinished(5000);
    }

    // A file on the site, and its entry in a feed.
    QByteArray offer(const char *name, const char *path, const QByteArray &content, QByteArray hash = {})
    {
        const QString file = site.filePath(QLatin1String(path));
        QDir().mkpath(QFileInfo(file).absolutePath());
        writeFile(file, content);
        if (hash.isEmpty())
            hash = sha(content);
        return R"({"name": ")" + QByteArray(name) + R"(", "url": ")" + QByteArray(path) + R"(", "sha256": ")" + hash
            + R"("})";
    }
    QString publish(const QByteArray &version, const QList<QByteArray> &files)
    {
        QByteArray list;
        for (const QByteArray &file : files)
            list += (list.isEmpty() ? "" : ", ") + file;
        writeFile(site.filePath(QStringLiteral("feed.json")),
            R"({"version": ")" + version + R"(", "files": [)" + list + "]}");
        return QStringLiteral("http://127.0.0.1:%1/feed.json").arg(port);
    }
    QProcess *startUpdater(const QString &feed)
    {
        updater.start(folder.file(QStringLiteral("update")), {feed});
        EXPECT_TRUE(updater.waitForStarted(5000));
        return &updater;
    }
    QList<QByteArray> runUpdater(const QString &feed)
    {
        startUpdater(feed);
        EXPECT_TRUE(updater.waitForFinished(30000));
        return readFile(folder.file(QStringLiteral("status-update"))).split('\n');
    }
    bool oldProgramIntact()
    {
        return readFile(folder.file(QStringLiteral("vexel3"))) == "old vexel3"
            && readFile(folder.file(QStringLiteral("help/0.html"))) == "old help"
            && !QFileInfo::exists(folder.file(QStringLiteral(".update/ready")));
    }

    TempProgramFolder folder;
    QTemporaryDir site;
    QProcess server;
    QProcess updater;
    int port = 0;
};

TEST_F(UpdaterTest, InstallsOnlyANewerVersionWhoseFilesAllCheck)
{
    const QByteArray vexel3 = "new vexel3 " + QByteArray(100000, 'x');
    struct Case
    {
        const char *what;
        QByteArray version;
        QList<QByteArray> files;
        QByteArray firstLine;
        QByteArray detail; // in the second line
        bool installed;
    };
    const QByteArray same = programVersion().toUtf8();
    const QList<Case> cases{
        {"same version", same, {offer("vexel3", "v/vexel3", vexel3)}, "ACT\r", "is the newest", false},
        {"older version", "1.0.1", {offer("vexel3", "v/vexel3", vexel3)}, "ACT\r", "is the newest", false},
        {"corrupt download", "99.0.1",
            {offer("help/0.html", "v/0.html", "new help"), offer("vexel3", "v/vexel3", vexel3, sha("other"))},
            "CONNERR\r", "does not match its SHA-256", false},
        {"refused download", "99.0.1", {offer("vexel3", "refused/vexel3", vexel3)}, "AUTHERR\r", "HTTP 403", false},
        {"missing download", "99.0.1",
            {offer("vexel3", "v/vexel3", vexel3),
                R"({"name": "PostPing", "url": "v/none", "sha256": ")" + sha("") + R"("})"},
            "CONNERR\r", "PostPing", false},
        {"a way out of the folder", "99.0.1", {offer("../vexel3", "v/vexel3", vexel3)}, "CONNERR\r", "may not replace",
            false},
        {"the user's settings", "99.0.1", {offer("config/main.cfg", "v/main.cfg", "x")}, "CONNERR\r", "may not replace",
            false},
        {"newer version", "99.0.1", {offer("vexel3", "v/vexel3", vexel3), offer("help/0.html", "v/0.html", "new help")},
            "N99.0.1\r", "installed 99.0.1", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const QList<QByteArray> status = runUpdater(publish(c.version, c.files));
        ASSERT_GE(status.size(), 2);
        EXPECT_EQ(status[0], c.firstLine);
        EXPECT_TRUE(status[1].contains(c.detail)) << status[1].constData();
        EXPECT_EQ(updater.exitCode(), c.installed ? 0 : c.firstLine == "ACT\r" ? 0 : 1);
        if (!c.installed) {
            EXPECT_TRUE(oldProgramIntact());
            continue;
        }
        EXPECT_EQ(readFile(folder.file(QStringLiteral("vexel3"))), vexel3);
        EXPECT_EQ(readFile(folder.file(QStringLiteral("help/0.html"))), "new help");
        EXPECT_TRUE(QFileInfo(folder.file(QStringLiteral("vexel3"))).isExecutable()) << "keeps its permissions";
        EXPECT_FALSE(QFileInfo::exists(folder.file(QStringLiteral(".update")))) << "nothing left staged";
    }
    server.kill();
    server.waitForFinished(5000);
    EXPECT_EQ(runUpdater(QStringLiteral("http://127.0.0.1:%1/feed.json").arg(port)).value(0), "CONNERR\r");
    EXPECT_EQ(runUpdater(QStringLiteral("http://updates.example/feed.json")).value(1),
        "the release feed's address is not HTTPS\r");
}

TEST_F(UpdaterTest, AKillAtAnyMomentLeavesAWorkingProgram)
{
    // Killed while it downloads: the old program stays, the next run starts over.
    const QByteArray slow = QByteArray(200 * 1024, 's');
    startUpdater(publish("99.0.2", {offer("vexel3", "v/slow", slow)}));
    ASSERT_TRUE(waitUntil([&] { return QFileInfo(folder.file(QStringLiteral(".update/vexel3"))).size() > 0; }));
    updater.kill();
    updater.waitForFinished(5000);
    EXPECT_TRUE(oldProgramIntact());
    EXPECT_EQ(runUpdater(publish("99.0.2", {offer("vexel3", "v/vexel3", "fast")})).value(0), "N99.0.2\r");
    EXPECT_EQ(readFile(folder.file(QStringLiteral("vexel3"))), "fast");

    // Killed while moving checked files in place: the next start finishes.
    QDir().mkpath(folder.file(QStringLiteral(".update/help")));
    writeFile(folder.file(QStringLiteral(".update/help/0.html")), "newer help");
    writeFile(folder.file(QStringLiteral(".update/ready")), "99.0.3\nvexel3\nhelp/0.html\n");
    EXPECT_TRUE(UpdateInstallation::finishPending(folder.path()));
    EXPECT_EQ(readFile(folder.file(QStringLiteral("help/0.html"))), "newer help");
    EXPECT_EQ(readFile(folder.file(QStringLiteral("vexel3"))), "fast") << "moved before the kill";
    EXPECT_FALSE(QFileInfo::exists(folder.file(QStringLiteral(".update"))));
    EXPECT_FALSE(UpdateInstallation::finishPending(folder.path())) << "nothing pending";
}

TEST_F(UpdaterTest, WithoutAFeedTheShippedUpdaterSaysSoAndChangesNothing)
{
    QFile::remove(folder.file(QStringLiteral("update")));
    ASSERT_TRUE(QFile::copy(stagedProgramPath(QStringLiteral("update")), folder.file(QStringLiteral("update"))));
    const QList<QByteArray> status = runUpdater(QString());
    EXPECT_EQ(status.value(0), "CONNERR\r");
    EXPECT_EQ(status.value(1), "this build has no release feed\r");
    EXPECT_TRUE(oldProgramIntact());
}

TEST(ReleaseFeed, VersionsCompareAsNumbers)
{
    EXPECT_GT(compareVersions(QStringLiteral("1.0.10"), QStringLiteral("1.0.9")), 0);
    EXPECT_EQ(compareVersions(QStringLiteral("1.0"), QStringLiteral("1.0.0")), 0);
    EXPECT_LT(compareVersions(QStringLiteral("1.0.x"), QStringLiteral("0.1")), 0) << "not a version: older";
}

} // namespace
} // namespace jw::test
