#include "platform/autostart.h"
#include "support/testfiles.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace jw::test {
namespace {

TEST(Autostart, DesktopEntryQuotesThePathAndPassesTray)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("autostart"));
    const auto autostart = createSystemAutostart(folder);
    EXPECT_FALSE(autostart->isEnabled());
    autostart->enable(QStringLiteral("/opt/Junk warden/\"jw\"/junkwarden"));
    EXPECT_TRUE(autostart->isEnabled());
    const QByteArray entry = readFile(folder + QStringLiteral("/junkwarden.desktop"));
    EXPECT_TRUE(entry.contains("\nExec=\"/opt/Junk warden/\\\\\"jw\\\\\"/junkwarden\" /tray\n")) << entry.constData();
    EXPECT_TRUE(entry.startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(entry.contains("\nIcon=junkwarden\n")) << "the installed icon";
    QProcess validate;
    validate.start(QStringLiteral("desktop-file-validate"), {folder + QStringLiteral("/junkwarden.desktop")});
    ASSERT_TRUE(validate.waitForFinished(20000)) << "desktop-file-validate (desktop-file-utils) runs";
    EXPECT_EQ(validate.exitCode(), 0) << validate.readAllStandardOutput().constData();

    writeFile(folder + QStringLiteral("/junkwarden.desktop"), entry + "Hidden=true\n");
    EXPECT_FALSE(autostart->isEnabled()) << "a hidden entry does not start anything";

    autostart->disable();
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/junkwarden.desktop")));
}

} // namespace
} // namespace jw::test
