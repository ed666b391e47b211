// Feeds arbitrary bytes to the judgement as a message source, the way a
// session hands over what a server sent: decoded by GMime, then judged by
// every list and method (lists on, the other methods in the third state so
// all of them run), with a learned model and DNS answers for every question.
#include "proxy/dnscache.h"
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

// Every name is listed and has no mail server.
class AnsweringDns final : public jw::DnsAnswers
{
public:
    std::optional<QStringList> answer(const jw::DnsQuestion &question) const override
    {
        return question.type == jw::DnsQuestion::Type::A ? QStringList{QStringLiteral("127.0.0.2")} : QStringList{};
    }
};

jw::LocalJudgement &judgement()
{
    static const AnsweringDns dns;
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
        writeFile(config + QStringLiteral("rbl"), "bl.dnsbl.example\r\nbad.example\r\n203.0.113.\r\n");
        writeFile(config + QStringLiteral("xmailer"), "bulk\r\n");
        writeFile(config + QStringLiteral("to"), "undisclosed\r\n");
        writeFile(config + QStringLiteral("learned_words.dat"),
            "junkwarden learned words 1\t10\t10\npills\t9\t0\nmeeting\t0\t9\ns:free\t8\t1\n");
        jw::JudgementSettings settings;
        settings.checks.maxTo = 3;
        return std::make_unique<jw::LocalJudgement>(config, settings, 1000000, &dns);
    }();
    return *instance;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray source(reinterpret_cast<const char *>(data), qsizetype(size));
    const jw::MailFacts facts = jw::readMailFacts(source);
    judgement().dnsQuestions(facts);
    const jw::Verdict verdict = judgement().judge(facts);
    // The verdict must be usable: a reason for every level counted.
    if (verdict.level > 0 && verdict.reason.isEmpty())
        __builtin_trap();
    return 0;
}
