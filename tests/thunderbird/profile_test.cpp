#include "support/profilelock.h"
#include "support/testfiles.h"
#include "thunderbird/profileedit.h"
#include "thunderbird/profiles.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace jw::thunderbird {
namespace {

using jw::test::anotherProcessCanLock;
using jw::test::readFile;
using jw::test::RunningThunderbird;
using jw::test::writeFile;

TEST(Profiles, EveryInstallationsProfilesAreFoundOnce)
{
    QTemporaryDir home;
    const QString h = home.path();
    for (const char *folder :
        {"/.thunderbird/abc.default-release", "/elsewhere/work", "/snap/thunderbird/common/.thunderbird/snp.default",
            "/.var/app/org.mozilla.Thunderbird/.thunderbird/new.default",
            "/.var/app/net.thunderbird.Thunderbird/.thunderbird/newer.default"})
        QDir().mkpath(h + QLatin1String(folder));
    writeFile(h + QStringLiteral("/.thunderbird/profiles.ini"),
        "[Install4F96D1932A9F858E]\nDefault=abc.default-release\nLocked=1\n\n"
        "[Profile1]\nName=work\nIsRelative=0\nPath="
            + h.toUtf8()
            + "/elsewhere/work\n\n"
              "[Profile0]\nName=default-release\nIsRelative=1\nPath=abc.default-release\n\n"
              "[Profile2]\nName=again\nIsRelative=1\nPath=./abc.default-release\n\n"
              "[General]\nStartWithLastProfile=1\nVersion=2\n");
    writeFile(h + QStringLiteral("/snap/thunderbird/common/.thunderbird/profiles.ini"),
        "[Profile0]\nName=snap\nPath=snp.default\nDefault=1\n");
    writeFile(h + QStringLiteral("/.var/app/org.mozilla.Thunderbird/.thunderbird/profiles.ini"),
        "[Profile0]\r\nName=Zoë\r\nIsRelative=1\r\nPath=new.default\r\n");
    // A profiles.ini that cannot be read.
    QDir().mkpath(h + QStringLiteral("/.var/app/net.thunderbird.Thunderbird/.thunderbird/profiles.ini"));

    const ProfileSearch found = findProfiles(h);
    QStringList seen;
    for (const Profile &p : found.profiles)
        seen.append(QStringLiteral("%1 %2%3").arg(
            p.name, QString(p.folder).remove(h), p.isDefault ? QStringLiteral(" default") : QString()));
    EXPECT_EQ(seen,
        (QStringList{QStringLiteral("work /elsewhere/work"),
            QStringLiteral("default-release /.thunderbird/abc.default-release default"),
            QStringLiteral("snap /snap/thunderbird/common/.thunderbird/snp.default default"),
            QStringLiteral(u"Zoë /.var/app/org.mozilla.Thunderbird/.thunderbird/new.default")}));
    ASSERT_EQ(found.problems.size(), 1);
    EXPECT_TRUE(found.problems[0].contains(QLatin1String("net.thunderbird.Thunderbird")))
        << found.problems[0].toStdString();
    EXPECT_TRUE(findProfiles(h + QStringLiteral("/nobody")).profiles.isEmpty());
}

// A profile with one POP3 account and a filter that files mail into it.
struct ProfileFolder
{
    ProfileFolder()
    {
        QDir().mkpath(path() + QStringLiteral("/Mail/pop.example.com"));
        writeFile(prefsPath(), prefs);
        writeFile(rulesPath(), rules);
    }
    QString path() const { return dir.path() + QStringLiteral("/p.default"); }
    QString prefsPath() const { return path() + QStringLiteral("/prefs.js"); }
    QString rulesPath() const { return path() + QStringLiteral("/Mail/pop.example.com/msgFilterRules.dat"); }
    QString backups() const { return dir.path() + QStringLiteral("/backup"); }

    QTemporaryDir dir;
    const QByteArray prefs = "// Mozilla User Preferences\n"
                             "user_pref(\"mail.account.account1.server\", \"server1\");\n"
                             "user_pref(\"mail.accountmanager.accounts\", \"account1\");\n"
                             "user_pref(\"mail.server.server1.directory-rel\", \"[ProfD]Mail/pop.example.com\");\n"
                             "user_pref(\"mail.server.server1.hostname\", \"pop.example.com\");\n"
                             "user_pref(\"mail.server.server1.type\", \"pop3\");\n"
                             "user_pref(\"mail.server.server1.userName\", \"alice\");\n";
    const QByteArray rules = "version=\"9\"\nlogging=\"no\"\nname=\"Archive\"\nenabled=\"yes\"\ntype=\"17\"\n"
                             "action=\"Move to folder\"\nactionValue=\"mailbox://alice@pop.example.com/Archive\"\n";
};

QList<FolderMove> route(PrefsFile &prefs)
{
    return {routeServer(prefs, "server1", 1110)};
}

TEST(ProfileEdit, WritesPreferencesAndFilterRulesTogetherKeepingACopyOfEach)
{
    ProfileFolder profile;
    EXPECT_FALSE(profileInUse(profile.path()));
    const EditOutcome outcome = editProfile(profile.path(), profile.backups(), route);
    EXPECT_EQ(outcome.result, EditOutcome::Result::Changed) << outcome.reason.toStdString();
    EXPECT_TRUE(readFile(profile.prefsPath()).contains("\"mail.server.server1.hostname\", \"localhost\""));
    EXPECT_EQ(readFile(profile.rulesPath()),
        QByteArray(profile.rules)
            .replace("mailbox://alice@pop.example.com/", "mailbox://alice%2Cpop.example.com@localhost/"));
    QStringList copies;
    for (const QFileInfo &file : QDir(profile.backups()).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot))
        for (const QString &name : QDir(file.filePath()).entryList({QStringLiteral("*.js"), QStringLiteral("*.dat")}))
            copies.append(QString::fromUtf8(readFile(file.filePath() + QLatin1Char('/') + name)));
    copies.sort();
    EXPECT_EQ(copies, (QStringList{QString::fromUtf8(profile.prefs), QString::fromUtf8(profile.rules)}));

    EXPECT_EQ(editProfile(profile.path(), profile.backups(), route).result, EditOutcome::Result::Unchanged);
    const EditOutcome back = editProfile(profile.path(), profile.backups(),
        [](PrefsFile &prefs) { return QList<FolderMove>{restoreServer(prefs, "server1")}; });
    EXPECT_EQ(back.result, EditOutcome::Result::Changed);
    EXPECT_EQ(readFile(profile.prefsPath()), profile.prefs);
    EXPECT_EQ(readFile(profile.rulesPath()), profile.rules);
}

TEST(ProfileEdit, WaitsWhileThunderbirdRunsAndLocksItOutWhileEditing)
{
    ProfileFolder profile;
    {
        RunningThunderbird thunderbird(profile.path());
        ASSERT_TRUE(thunderbird.holdsLock());
        EXPECT_TRUE(profileInUse(profile.path()));
        EXPECT_EQ(editProfile(profile.path(), profile.backups(), route).result, EditOutcome::Result::InUse);
        EXPECT_EQ(readFile(profile.prefsPath()), profile.prefs);
    }
    EXPECT_FALSE(profileInUse(profile.path()));
    EXPECT_TRUE(anotherProcessCanLock(profile.path()));
    bool lockedOut = false;
    editProfile(profile.path(), profile.backups(), [&](PrefsFile &prefs) {
        // A Thunderbird starting now finds the profile locked.
        lockedOut = !anotherProcessCanLock(profile.path());
        return route(prefs);
    });
    EXPECT_TRUE(lockedOut) << "the lock was free during the edit";
}

TEST(ProfileEdit, AProfileThatCannotBeReadIsLeftAsItIs)
{
    const struct
    {
        const char *what;
        std::function<void(const ProfileFolder &)> damage;
        const char *reason;
    } cases[] = {
        {"prefs.js in another format", [](const ProfileFolder &p) { writeFile(p.prefsPath(), "pref(\"x\", 1);\n"); },
            "is not in Thunderbird's format (line 1: expected \"user_pref\")"},
        {"no prefs.js", [](const ProfileFolder &p) { QFile::remove(p.prefsPath()); }, "cannot be read"},
        {"the folder gone", [](const ProfileFolder &p) { QDir(p.path()).removeRecursively(); }, "is gone"},
    };
    // What a file holds, or nothing when it is not there.
    const auto bytes = [](const QString &path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    for (const auto &c : cases) {
        ProfileFolder profile;
        c.damage(profile);
        const QByteArray before = bytes(profile.prefsPath());
        const EditOutcome outcome = editProfile(profile.path(), profile.backups(), route);
        EXPECT_EQ(outcome.result, EditOutcome::Result::Unreadable) << c.what;
        EXPECT_TRUE(outcome.reason.contains(QLatin1String(c.reason))) << c.what << ": " << outcome.reason.toStdString();
        EXPECT_EQ(bytes(profile.prefsPath()), before) << c.what;
        EXPECT_EQ(bytes(profile.rulesPath()), QFileInfo::exists(profile.path()) ? profile.rules : QByteArray())
            << c.what;
    }
}

} // namespace
} // namespace jw::thunderbird
