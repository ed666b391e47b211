#include "platform/registry.h"

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
const char kExport[] =
    "Windows Registry Editor Version 5.00\r\n"
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
    EXPECT_EQ(again.readString(QStringLiteral("\\Software\\New\\Key"), QStringLiteral("v")), QStringLiteral("line1\nline2"));
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

TEST(RegistryData, ReadsUtf16ExportsWithByteOrderMark)
{
    QStringEncoder toUtf16(QStringEncoder::Utf16LE);
    const QByteArray utf16 = QByteArray("\xff\xfe") + QByteArray(toUtf16(QString::fromUtf8(kExport) + QStringLiteral(
                                 "[HKEY_CURRENT_USER\\Software\\Żółw]\r\n\"Name\"=\"Gęś\"\r\n")));
    const RegistryData data = parseRegFile(utf16);
    EXPECT_EQ(data.readString(QStringLiteral("\\Software\\żółw"), QStringLiteral("name")), QStringLiteral("Gęś"));
    EXPECT_EQ(data.readInteger(kOe + QStringLiteral("00000002"), QStringLiteral("POP3 Port")), 110u);
    EXPECT_TRUE(serializeRegFile(data).contains("\"Name\"=\"G\xc4\x99\xc5\x9b\"")) << "written back as UTF-8";
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
    EXPECT_TRUE(out.contains("\"unterminated=\"x\r\n\"n\"=dword:xyz\r\n\"h\"=hex:zz,\\\r\n[-HKEY_CURRENT_USER\\Gone]\r\n\"s\"=\"new\""));
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
    EXPECT_EQ(registry->load().readString(QStringLiteral("\\Software\\A"), QStringLiteral("Pass")), QStringLiteral("secret"));
}

TEST_F(FileRegistryTest, EveryLoadSeesChangesMadeByOtherPrograms)
{
    changeRegistry(*registry, [](RegistryData &d) { d.writeString(QStringLiteral("\\K"), QStringLiteral("v"), QStringLiteral("1")); });
    QByteArray content = readFile(path);
    writeFile(path, content.replace("\"v\"=\"1\"", "\"v\"=\"2\""));
    EXPECT_EQ(registry->load().readString(QStringLiteral("\\K"), QStringLiteral("v")), QStringLiteral("2"));
}

TEST_F(FileRegistryTest, FailedSaveNamesTheValueAndLeavesTheOldFile)
{
    changeRegistry(*registry, [](RegistryData &d) { d.writeString(QStringLiteral("\\K"), QStringLiteral("v"), QStringLiteral("1")); });
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
