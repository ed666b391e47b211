// Feeds arbitrary bytes to the judgement as a message source, the way a
// session hands over what a server sent: decoded by GMime, then judged by
// every list and method (lists on, the other methods in the third state so
// all of them run).
#include "proxy/judgement.h"
#include "proxy/mailfacts.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <memory>

namespace {

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
}

jw::LocalJudgement &judgement()
{
    static QTemporaryDir folder;
    static std::unique_ptr<jw::LocalJudgement> instance = [] {
        const QString config = folder.path() + QStringLiteral("/");
        QByteArray methods;
        for (int i = 0; i < 61; ++i)
            methods += "m=" + QByteArray(i < 4 ? "1" : "2") + "\r\n";
        writeFile(config + QStringLiteral("methods.cfg"), methods);
        writeFile(config + QStringLiteral("whitelist"), "friends.example\r\n");
        writeFile(config + QStringLiteral("blacklist"), "spam.example\r\nx@y.example\r\n");
        writeFile(config + QStringLiteral("badwords"), "viagra\r\nfree money\r\nzegarki\r\n");
        jw::JudgementSettings settings;
        settings.checks.maxTo = 3;
        return std::make_unique<jw::LocalJudgement>(config, settings, 1000000);
    }();
    return *instance;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray source(reinterpret_cast<const char *>(data), qsizetype(size));
    const jw::MailFacts facts = jw::readMailFacts(source);
    const jw::Verdict verdict = judgement().judge(facts);
    // The verdict must be usable: a reason for every level counted.
    if (verdict.level > 0 && verdict.reason.isEmpty())
        __builtin_trap();
    return 0;
}
