#include "proxy/methodchecks.h"

#include <QRegularExpression>

namespace jw {

namespace {

const QStringList &programExtensions()
{
    static const QStringList extensions{QStringLiteral("exe"), QStringLiteral("scr"), QStringLiteral("pif"),
                                        QStringLiteral("com"), QStringLiteral("bat")};
    return extensions;
}

QString extensionOf(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot + 1).trimmed().toLower();
}

QString firstMatch(const QRegularExpression &pattern, const QString &text)
{
    const QRegularExpressionMatch match = pattern.match(text);
    return match.hasMatch() ? match.captured(0) : QString();
}

QString withDetail(const char *what, const QString &detail)
{
    return QLatin1String(what) + QStringLiteral(" (") + detail.left(60) + QLatin1Char(')');
}

} // namespace

const QList<MethodCheck> &methodChecks()
{
    static const QList<MethodCheck> checks{
        {7, 2,
         [](const MailFacts &facts, const CheckSettings &settings) {
             return settings.maxTo > 0 && facts.toCount > settings.maxTo
                 ? QStringLiteral("%1 recipients in To").arg(facts.toCount)
                 : QString();
         }},
        {8, 3,
         [](const MailFacts &facts, const CheckSettings &) {
             return facts.fromAddress.isEmpty() ? QStringLiteral("no From address") : QString();
         }},
        {19, 3,
         [](const MailFacts &facts, const CheckSettings &) {
             static const QRegularExpression formOrScript(QStringLiteral("<\\s*(form|script)\\b"),
                                                          QRegularExpression::CaseInsensitiveOption);
             const QString found = firstMatch(formOrScript, facts.html);
             return found.isEmpty() ? QString() : QStringLiteral("HTML with a form or a script");
         }},
        {21, 3,
         [](const MailFacts &facts, const CheckSettings &) {
             static const QRegularExpression numericLink(
                 QStringLiteral("\\bhref\\s*=\\s*[\"']?\\s*https?://(\\d{1,3}\\.){3}\\d{1,3}\\b"),
                 QRegularExpression::CaseInsensitiveOption);
             const QString found = firstMatch(numericLink, facts.html);
             return found.isEmpty() ? QString() : QStringLiteral("link to a numeric IP address");
         }},
        {23, 5,
         [](const MailFacts &facts, const CheckSettings &) {
             for (const QString &name : facts.attachments) {
                 if (programExtensions().contains(extensionOf(name)))
                     return withDetail("program attachment", name);
             }
             return QString();
         }},
        {24, 5,
         [](const MailFacts &facts, const CheckSettings &) {
             // "invoice.pdf.exe": a harmless-looking name that runs.
             static const QRegularExpression doubled(QStringLiteral("\\.[a-z0-9]{2,4}\\s*\\.([a-z0-9]{2,4})\\s*$"),
                                                     QRegularExpression::CaseInsensitiveOption);
             for (const QString &name : facts.attachments) {
                 const QRegularExpressionMatch match = doubled.match(name);
                 if (match.hasMatch() && programExtensions().contains(match.captured(1).toLower()))
                     return withDetail("attachment with a double extension", name);
             }
             return QString();
         }},
        {58, 5,
         [](const MailFacts &facts, const CheckSettings &) {
             const QString flag = facts.header("x-spam-flag").trimmed();
             const QString status = facts.header("x-spam-status").trimmed();
             if (flag.startsWith(QLatin1String("yes"), Qt::CaseInsensitive)
                 || status.startsWith(QLatin1String("yes"), Qt::CaseInsensitive))
                 return QStringLiteral("marked as spam by another filter");
             return QString();
         }},
    };
    return checks;
}

} // namespace jw
