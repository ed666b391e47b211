// Where the data lies: beside a program the user may change, else in the
// user's data folder, seeded without ever replacing a file of the user's.
#include "platform/datafolder.h"
#include "support/testfiles.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

namespace jw::test {
namespace {

TEST(DataFolder, BesideAWritableProgramElseSeededInTheUsersDataFolder)
{
    QTemporaryDir program;
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toUtf8());
    const QString programFolder = program.path() + QLatin1Char('/');
    EXPECT_EQ(dataFolderFor(programFolder), programFolder);
    const QString data = home.path() + QStringLiteral("/junkwarden/");
    EXPECT_EQ(dataFolderFor(QStringLiteral("/usr/lib/junkwarden/")), data) << "the package manager's, even for root";
    EXPECT_TRUE(seedDataFolder(programFolder, programFolder).isEmpty());

    QDir().mkpath(programFolder + QStringLiteral("config"));
    writeFile(programFolder + QStringLiteral("config/main.cfg"), "server_port=1110\r\n");
    writeFile(programFolder + QStringLiteral("config/methods.cfg"), "1\r\n");
    writeFile(programFolder + QStringLiteral("config/language.lng"), "new texts\r\n");
    QDir().mkpath(data + QStringLiteral("config"));
    writeFile(data + QStringLiteral("config/main.cfg"), "server_port=2110\r\n");
    writeFile(data + QStringLiteral("config/language.lng"), "old texts\r\n");
    const utimbuf longAgo{1000, 1000};
    ::utime(QFile::encodeName(data + QStringLiteral("config/language.lng")).constData(), &longAgo);

    EXPECT_TRUE(seedDataFolder(programFolder, data).isEmpty());
    EXPECT_EQ(readFile(data + QStringLiteral("config/main.cfg")), "server_port=2110\r\n") << "the user's own";
    EXPECT_EQ(readFile(data + QStringLiteral("config/methods.cfg")), "1\r\n") << "missing: copied";
    EXPECT_EQ(readFile(data + QStringLiteral("config/language.lng")), "new texts\r\n") << "the program's texts follow";
    for (const char *folder : {"messages", "state"})
        EXPECT_TRUE(QFileInfo(data + QLatin1String(folder)).isDir()) << folder;
    struct stat info = {};
    ASSERT_EQ(::stat(QFile::encodeName(data).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u) << "the user's mail lies there";
    EXPECT_EQ(QDir(data + QStringLiteral("config")).entryList(QDir::Files).size(), 3) << "no temporary file left";
    qunsetenv("XDG_DATA_HOME");
}

} // namespace
} // namespace jw::test
