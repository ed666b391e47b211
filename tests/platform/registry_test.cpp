#include "platform/registry.h"
#include "support/smalldisk.h"
#include "support/testfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace jw::test {
namespace {

// As regedit exports it: foreign keys, hex values over several lines, a
// default value, an expandable string, a key only present as a parent.
const char kExport[] = "Windows Registry Editor Version 5.00\r\n"
                       "\r\n"
                       "[HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Account Manager\\Accounts\\00000002]\r\n"
                       "\"Account Name\"=\"Work \\\"mail\\\"\"\r\n"
                       "\"POP3 Server\"=\"pop.work.example\"\r\n"
                       "\"POP3 Port\"=dword:0000006e\r\n"
                       "\"POP3 Prompt for Password\"=hex:00,00,00,00,01,\\\r\n"
                       "  02,03\r\n"
                       "@=\"default\"\r\n"
                       "\"Path\"=hex(2):43,00,3a,00,5c,00,00,00\r\n"
                       "\"Weird\"=hex(7):41,00,00,00,00,00\r\n"
                       "\r\n"
                       "[HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Account Manager\\Accounts\\00000001]\r\n"
                       "\"POP3 Server\"=\"pop.home.example\"\r\n"
                       "; a comment line\r\n"
                       "\r\n"
                       "[HKEY_LOCAL_MACHINE\\Software\\Other]\r\n"
                       "\"x\"=\"y\"\r\n"
                       "\r\n"
                       "[HKEY_CURRENT_USER\\Software\\deep\\Child\\Grandchild]\r\n"
                       "\r\n";

const QString kOe = QStringLiteral("\\Software\\Microsoft\\Internet Account Manager\\Accounts\\");

TEST(RegistryData, ReadsTheExportFormat)
{
    const RegistryData data = parseRegFile(kExport);
    const QString key = kOe + QStringLiteral("00000002");
    EXPECT_EQ(data.readString(key, QStringLiteral("Account Name")), QStringLiteral("Work \"mail\""));
    EXPECT_EQ(data.readString(key.toUpper(), QStringLiteral("pop3 server")), QStringLiteral("pop.work.example"))
        << "key and value names ignore case";
    EXPECT_EQ(data.readInteger(key, QStringLiteral("POP3 Port")), 110u);
    EXPECT_EQ(data.readString(key, QString()), QStringLiteral("default"));
    EXPECT_EQ(data.readString(key, QStringLiteral("Path")), QStringLiteral("C:\\"));
    EXPECT_EQ(data.valueType(key, QStringLiteral("POP3 Prompt for Password")), RegistryValueType::Other);
    EXPECT_EQ(data.valueType(key, QStringLiteral("missing")), RegistryValueType::None);
    EXPECT_EQ(data.readString(key, QStringLiteral("missing")), std::nullopt);
    EXPECT_TRUE(data.keyExists(QStringLiteral("\\Software\\deep\\Child\\")));
    EXPECT_FALSE(data.keyExists(QStringLiteral("\\Software\\Other")));
}

TEST(RegistryData, WrongTypesAreReportedByValueName)
{
    const RegistryData data = parseRegFile(kExport);
    const QString key = kOe + QStringLiteral("00000002");
    const struct
    {
        const char *name;
        bool asString;
    } cases[] = {{"POP3 Port", true}, {"POP3 Server", false}, {"Weird", true}, {"POP3 Prompt for Password", false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        try {
            if (c.asString)
                data.readString(key, QString::fromLatin1(c.name));
            else
                data.readInteger(key, QString::fromLatin1(c.name));
            ADD_FAILURE() << "read with the wrong type";
        } catch (const RegistryError &e) {
            EXPECT_EQ(e.message(), QStringLiteral("Invalid data type for '%1'").arg(QString::fromLatin1(c.name)));
        }
    }
}

TEST(RegistryData, SubkeysEnumerateSortedIgnoringCaseWithImplicitParents)
{
    RegistryData data = parseRegFile("Windows Registry Editor Version 5.00\r\n\r\n"
                                     "[HKEY_CURRENT_USER\\S\\b]\r\n\r\n"
                                     "[HKEY_CURRENT_USER\\S\\C\\x]\r\n\r\n"
                                     "[HKEY_CURRENT_USER\\S\\a]\r\n\r\n"
                                     "[HKEY_CURRENT_USER\\S\\B\\y]\r\n\r\n");
    EXPECT_EQ(data.subkeyNames(QStringLiteral("\\S\\")),
        (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("C")}));
    data.createKey(QStringLiteral("\\S\\00000010"));
    data.createKey(QStringLiteral("\\S\\A"));
    EXPECT_EQ(data.subkeyNames(QStringLiteral("\\S")).first(), QStringLiteral("00000010"));
    EXPECT_EQ(data.subkeyNames(QStringLiteral("\\S")).size(), 4) << "\\S\\A is \\S\\a";
}

TEST(RegistryData, ChangesKeepEverythingElseByteForByte)
{
    RegistryData data = parseRegFile(kExport);
    const QString key = kOe + QStringLiteral("00000002");
    data.writeString(key, QStringLiteral("POP3 SERVER"), QStringLiteral("localhost"));
    data.writeInteger(key, QStringLiteral("POP3 Port"), 1110);
    data.writeString(key, QStringLiteral("Use Mailmoater"), QStringLiteral("yes \\ \"q\""));
    data.writeString(QStringLiteral("\\Software\\New\\Key"), QStringLiteral("v"), QStringLiteral("line1\nline2"));
    EXPECT_TRUE(data.isModified());
    EXPECT_EQ(data.firstWrittenValue(), QStringLiteral("POP3 SERVER"));

    const QByteArray out = serializeRegFile(data);
    const QByteArray expected = QByteArray(kExport)
                                    .replace("\"POP3 Server\"=\"pop.work.example\"", "\"POP3 Server\"=\"localhost\"")
                                    .replace("dword:0000006e", "dword:00000456")
                                    .replace("\"Weird\"=hex(7):41,00,00,00,00,00\r\n",
                                        "\"Weird\"=hex(7):41,00,00,00,00,00\r\n"
                                        "\"Use Mailmoater\"=\"yes \\\\ \\\"q\\\"\"\r\n")
        + "[HKEY_CURRENT_USER\\Software\\New\\Key]\r\n"
          "\"v\"=hex(1):6c,00,69,00,6e,00,65,00,31,00,0a,00,6c,00,69,00,6e,00,65,00,32,00,00,00\r\n";
    EXPECT_EQ(out, expected);

    const RegistryData again = parseRegFile(out);
    EXPECT_EQ(again.readString(key, QStringLiteral("Use Mailmoater")), QStringLiteral("yes \\ \"q\""));
    EXPECT_EQ(
        again.readString(QStringLiteral("\\Software\\New\\Key"), QStringLiteral("v")), QStringLiteral("line1\nline2"));
    EXPECT_FALSE(again.isModified());
}

TEST(RegistryData, DeletesValuesAndWholeKeys)
{
    RegistryData data = parseRegFile(kExport);
    EXPECT_TRUE(data.deleteValue(kOe + QStringLiteral("00000002"), QStringLiteral("pop3 port")));
    EXPECT_FALSE(data.deleteValue(kOe + QStringLiteral("00000002"), QStringLiteral("pop3 port")));
    EXPECT_TRUE(data.deleteKey(QStringLiteral("\\Software\\Microsoft")));
    EXPECT_FALSE(data.keyExists(kOe));
    EXPECT_TRUE(data.keyExists(QStringLiteral("\\Software\\deep")));
    EXPECT_TRUE(serializeRegFile(data).contains("[HKEY_LOCAL_MACHINE\\Software\\Other]"));
}

// A file keeps its encoding and line ends, and every line the program did
// not change keeps its bytes; the changed value is written the file's way.
TEST(RegistryData, KeepsEncodingLineEndsAndForeignBytes)
{
    QStringEncoder toUtf16(QStringEncoder::Utf16LE);
    auto utf16 = [&toUtf16](const QByteArray &utf8) { return QByteArray(toUtf16(QString::fromUtf8(utf8))); };
    auto lf = [](QByteArray text) { return text.replace("\r\n", "\n"); };
    const QByteArray polish = QByteArray(kExport)
        + "[HKEY_CURRENT_USER\\Software\\\xc5\xbb\xc3\xb3\xc5\x82w]\r\n\"Name\"=\"G\xc4\x99\xc5\x9b\"\r\n";
    const QByteArray latin1 = QByteArray(kExport) + "[HKEY_CURRENT_USER\\Software\\K]\r\n\"Name\"=\"caf\xe9\"\r\n";
    struct Case
    {
        const char *name;
        QByteArray before;
        QByteArray after; // with "POP3 Server" of account 00000001 set to "localhost"
        QString name1250; // what the last value reads as
    };
    const QByteArray oldLine = "\"POP3 Server\"=\"pop.home.example\"";
    const QByteArray newLine = "\"POP3 Server\"=\"localhost\"";
    auto changed = [&](const QByteArray &text) { return QByteArray(text).replace(oldLine, newLine); };
    const Case cases[] = {
        {"UTF-16LE with its mark", "\xff\xfe" + utf16(polish), "\xff\xfe" + utf16(changed(polish)),
            QStringLiteral("Gęś")},
        {"UTF-16LE without a mark", utf16(polish), utf16(changed(polish)), QStringLiteral("Gęś")},
        {"UTF-8 with LF only", lf(polish), lf(changed(polish)), QStringLiteral("Gęś")},
        {"UTF-8 with its mark", "\xef\xbb\xbf" + polish, "\xef\xbb\xbf" + changed(polish), QStringLiteral("Gęś")},
        {"8-bit Latin-1 value", latin1, changed(latin1), QStringLiteral("café")},
        {"last line without a line end", polish.chopped(2), changed(polish).chopped(2), QStringLiteral("Gęś")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(isRegFile(c.before));
        EXPECT_EQ(serializeRegFile(parseRegFile(c.before)), c.before) << "unchanged, it is written back as it was";
        RegistryData data = parseRegFile(c.before);
        const QStringList names = data.subkeyNames(QStringLiteral("\\Software"));
        const QString last =
            names.contains(QStringLiteral("K")) ? QStringLiteral("\\Software\\K") : QStringLiteral("\\Software\\Żółw");
        EXPECT_EQ(data.readString(last, QStringLiteral("Name")), c.name1250);
        EXPECT_EQ(data.readInteger(kOe + QStringLiteral("00000002"), QStringLiteral("POP3 Port")), 110u);
        data.writeString(kOe + QStringLiteral("00000001"), QStringLiteral("POP3 Server"), QStringLiteral("localhost"));
        EXPECT_EQ(serializeRegFile(data), c.after);
    }
}

TEST(RegistryData, OnlyExportFilesAreRead)
{
    QByteArray random(4096, Qt::Uninitialized);
    for (int i = 0; i < random.size(); ++i)
        random[i] = char((i * 7919 + 13) % 251);
    EXPECT_FALSE(isRegFile(random));
    EXPECT_FALSE(isRegFile("some notes\r\n[HKEY_CURRENT_USER\\K]\r\n"));
    EXPECT_TRUE(isRegFile(""));
    EXPECT_TRUE(isRegFile("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\K]\r\n"));
}

TEST(RegistryData, MalformedLinesAreKeptNotInterpreted)
{
    const QByteArray odd = "garbage before any key\r\n"
                           "[HKEY_CURRENT_USER\\K]\r\n"
                           "\"unterminated=\"x\r\n"
                           "\"n\"=dword:xyz\r\n"
                           "\"h\"=hex:zz,\\\r\n"
                           "[-HKEY_CURRENT_USER\\Gone]\r\n"
                           "\"s\"=\"ok\"\r\n";
    RegistryData data = parseRegFile(odd);
    EXPECT_EQ(data.valueType(QStringLiteral("\\K"), QStringLiteral("n")), RegistryValueType::Other);
    EXPECT_EQ(data.readString(QStringLiteral("\\K"), QStringLiteral("s")), QStringLiteral("ok"));
    data.writeString(QStringLiteral("\\K"), QStringLiteral("s"), QStringLiteral("new"));
    const QByteArray out = serializeRegFile(data);
    EXPECT_TRUE(out.startsWith("Windows Registry Editor Version 5.00\r\n\r\ngarbage before any key\r\n"));
    EXPECT_TRUE(out.contains(
        "\"unterminated=\"x\r\n\"n\"=dword:xyz\r\n\"h\"=hex:zz,\\\r\n[-HKEY_CURRENT_USER\\Gone]\r\n\"s\"=\"new\""));
}

class FileRegistryTest : public ::testing::Test
{
protected:
    TempProgramFolder folder;
    QString path = folder.file(QStringLiteral("reg/registry.reg"));
    std::unique_ptr<Registry> registry = createFileRegistry(path);
};

TEST_F(FileRegistryTest, MissingFileIsAnEmptyRegistryAndSavesAreUserOnly)
{
    RegistryData data = registry->load();
    EXPECT_TRUE(data.keys.isEmpty());
    data.writeString(QStringLiteral("\\Software\\A"), QStringLiteral("Pass"), QStringLiteral("secret"));
    registry->save(data);
    struct stat info = {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(
        registry->load().readString(QStringLiteral("\\Software\\A"), QStringLiteral("Pass")), QStringLiteral("secret"));
}

TEST_F(FileRegistryTest, EveryLoadSeesChangesMadeByOtherPrograms)
{
    changeRegistry(*registry,
        [](RegistryData &d) { d.writeString(QStringLiteral("\\K"), QStringLiteral("v"), QStringLiteral("1")); });
    QByteArray content = readFile(path);
    writeFile(path, content.replace("\"v\"=\"1\"", "\"v\"=\"2\""));
    EXPECT_EQ(registry->load().readString(QStringLiteral("\\K"), QStringLiteral("v")), QStringLiteral("2"));
}

TEST_F(FileRegistryTest, FailedSaveNamesTheValueAndLeavesTheOldFile)
{
    changeRegistry(*registry,
        [](RegistryData &d) { d.writeString(QStringLiteral("\\K"), QStringLiteral("v"), QStringLiteral("1")); });
    const QByteArray before = readFile(path);
    // The registry file's place is taken by a folder of the same name in a
    // second store: no file can be written there.
    const QString blocked = folder.file(QStringLiteral("blocked.reg"));
    QDir().mkpath(blocked);
    const auto blockedRegistry = createFileRegistry(blocked);
    try {
        changeRegistry(*blockedRegistry, [](RegistryData &d) {
            d.writeString(QStringLiteral("\\K"), QStringLiteral("POP3 Server"), QStringLiteral("x"));
        });
        ADD_FAILURE() << "saved into a folder";
    } catch (const RegistryError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("Failed to set data for 'POP3 Server'"));
    }
    EXPECT_EQ(readFile(path), before);
    EXPECT_TRUE(QFileInfo(blocked).isDir());
}

// A file that is no registry export is never written over: the first use
// reports it naming the file, later uses of the same file stay quiet.
TEST_F(FileRegistryTest, ForeignFileIsReportedOnceAndNeverWritten)
{
    QDir().mkpath(folder.file(QStringLiteral("reg")));
    QByteArray random(3000, Qt::Uninitialized);
    for (int i = 0; i < random.size(); ++i)
        random[i] = char((i * 31 + 7) % 256);
    writeFile(path, random);
    auto route = [this] {
        changeRegistry(*registry,
            [](RegistryData &d) { d.writeString(QStringLiteral("\\K"), QStringLiteral("v"), QStringLiteral("1")); });
    };
    for (const bool reportedBefore : {false, true}) {
        try {
            route();
            ADD_FAILURE() << "a foreign file was used";
        } catch (const RegistryError &e) {
            EXPECT_TRUE(e.message().contains(path));
            EXPECT_EQ(e.alreadyReported(), reportedBefore);
        }
    }
    EXPECT_EQ(readFile(path), random);
}

TEST_F(FileRegistryTest, FullDiskLeavesTheOldFile)
{
    SmallDisk disk;
    if (!disk.available())
        GTEST_SKIP() << disk.whyNot().toStdString();
    const QString onDisk = disk.path() + QStringLiteral("registry.reg");
    const auto small = createFileRegistry(onDisk);
    changeRegistry(*small,
        [](RegistryData &d) { d.writeString(QStringLiteral("\\K"), QStringLiteral("v"), QStringLiteral("1")); });
    const QByteArray before = readFile(onDisk);
    disk.fill();
    EXPECT_THROW(changeRegistry(*small,
                     [](RegistryData &d) {
                         d.writeString(
                             QStringLiteral("\\K"), QStringLiteral("POP3 Server"), QStringLiteral("localhost"));
                     }),
        RegistryError);
    EXPECT_EQ(readFile(onDisk), before);
    EXPECT_EQ(QDir(disk.path()).entryList(QDir::Files), QStringList{QStringLiteral("registry.reg")});
}

TEST_F(FileRegistryTest, WorkDoneBeforeAnErrorIsKept)
{
    EXPECT_THROW(changeRegistry(*registry,
                     [](RegistryData &d) {
                         d.writeString(QStringLiteral("\\K"), QStringLiteral("first"), QStringLiteral("1"));
                         d.writeInteger(QStringLiteral("\\K"), QStringLiteral("n"), 5);
                         d.readString(QStringLiteral("\\K"), QStringLiteral("n"));
                         d.writeString(QStringLiteral("\\K"), QStringLiteral("never"), QStringLiteral("x"));
                     }),
        RegistryError);
    const RegistryData after = registry->load();
    EXPECT_EQ(after.readString(QStringLiteral("\\K"), QStringLiteral("first")), QStringLiteral("1"));
    EXPECT_FALSE(after.hasValue(QStringLiteral("\\K"), QStringLiteral("never")));
}

} // namespace
} // namespace jw::test
