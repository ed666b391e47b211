#include "proxy/methodchecks.h"

#include "proxy/linearpattern.h"
#include "proxy/senderevidence.h"

namespace jw {

namespace {

constexpr bool kStyle = true;

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

QString withDetail(const char *what, const QString &detail)
{
    return QLatin1String(what) + QStringLiteral(" (") + detail.left(60) + QLatin1Char(')');
}

QString found(const char *what, bool matched)
{
    return matched ? QLatin1String(what) : QString();
}

LinearPattern pattern(const char *text)
{
    return LinearPattern(text);
}

// The start of a text as UTF-8, at most `chars` of it.
QByteArray utf8Left(const QString &text, qsizetype chars)
{
    return QStringView(text).left(chars).toUtf8();
}

bool isAsciiLetterOrDigit(QChar c)
{
    return c.unicode() < 128 && c.isLetterOrNumber();
}

// The subject's last word when it is a code of letters and digits mixed, at
// least 7 long, standing alone ("Offer x7rk2q9z"); its place in `at`.
QString trailingCode(const QString &subject, qsizetype *at)
{
    qsizetype end = subject.size();
    while (end > 0 && subject.at(end - 1).unicode() < 128 && subject.at(end - 1).isSpace())
        --end;
    qsizetype start = end;
    bool digit = false;
    bool letter = false;
    while (start > 0 && isAsciiLetterOrDigit(subject.at(start - 1))) {
        --start;
        digit = digit || subject.at(start).isDigit();
        letter = letter || subject.at(start).isLetter();
    }
    if (end - start < 7 || !digit || !letter || (start > 0 && subject.at(start - 1) == QLatin1Char('_')))
        return {};
    *at = start;
    return subject.mid(start, end - start);
}

// The first entry of a list that `text` holds, ignoring case.
QString listed(const QStringList *list, const QString &text)
{
    if (!list || text.isEmpty())
        return {};
    for (const QString &entry : *list) {
        if (text.contains(entry, Qt::CaseInsensitive))
            return entry;
    }
    return {};
}

// The first entry of a list that the mailer's name (X-Mailer, else
// User-Agent) holds.
QString listedMailer(const QStringList *list, const MailFacts &facts)
{
    for (const char *field : {"x-mailer", "user-agent"}) {
        const QString entry = listed(list, facts.header(field));
        if (!entry.isEmpty())
            return entry;
    }
    return {};
}
const QStringList &wellKnownProviders()
{
    static const QStringList providers{QStringLiteral("hotmail.com"), QStringLiteral("yahoo.com"),
        QStringLiteral("aol.com"), QStringLiteral("msn.com"), QStringLiteral("gmail.com"),
        QStringLiteral("outlook.com"), QStringLiteral("earthlink.net"), QStringLiteral("juno.com"),
        QStringLiteral("excite.com")};
    return providers;
}

} // namespace

const QList<MethodCheck> &methodChecks()
{
    using F = const MailFacts &;
    using S = const CheckSettings &;
    static const QList<MethodCheck> checks{
        {4, 3,
            [](F, S settings) {
                const std::optional<ReceivedHop> sender = senderHop(settings.hops);
                const QString blocked = sender ? blockedHop(settings, *sender) : QString();
                return blocked.isEmpty() ? QString() : withDetail("sender's server blocked", blocked);
            }},
        {5, 3,
            [](F facts, S settings) {
                const QString entry = listedMailer(settings.mailerNames, facts);
                return entry.isEmpty() ? QString() : withDetail("mailer name listed", entry);
            }},
        {6, 3,
            [](F facts, S settings) {
                const QString entry = listed(settings.oddTo, facts.header("to"));
                return entry.isEmpty() ? QString() : withDetail("odd To field", entry);
            }},
        {7, 2,
            [](F facts, S settings) {
                return settings.maxTo > 0 && facts.toCount > settings.maxTo
                    ? QStringLiteral("%1 recipients in To").arg(facts.toCount)
                    : QString();
            }},
        {8, 3, [](F facts, S) { return found("no From address", facts.fromAddress.isEmpty()); }},
        {9, 1, [](F facts, S) { return found("no To address", facts.toCount == 0); }},
        {10, 1, [](F facts, S) { return found("empty subject", facts.subject.trimmed().isEmpty()); }},
        {11, 2,
            [](F facts, S) {
                int letters = 0;
                bool lower = false;
                for (const QChar c : facts.subject) {
                    letters += c.isLetter() ? 1 : 0;
                    lower = lower || c.isLower();
                }
                return found("subject in capitals", letters >= 8 && !lower);
            }},
        {12, 1,
            [](F facts, S) {
                return found("exclamation marks in the subject", facts.subject.count(QLatin1Char('!')) >= 3);
            }},
        {13, 2,
            [](F facts, S) {
                static const LinearPattern code("\\s{6,}[-\\w#.\\[\\]]{2,}\\s*$", LinearPattern::None);
                return found("subject ending in blanks and a code", code.in(facts.subject));
            }},
        {14, 3,
            [](F facts, S settings) {
                const QString word = settings.bannedWords ? settings.bannedWords->firstIn(facts.subject) : QString();
                return word.isEmpty() ? QString() : withDetail("banned word in the subject", word);
            }},
        {15, 3,
            [](F facts, S settings) {
                const QString word = settings.bannedWords ? settings.bannedWords->firstIn(facts.text) : QString();
                return word.isEmpty() ? QString() : withDetail("banned word in the text", word);
            }},
        {16, 1, [](F facts, S) { return found("HTML only", facts.htmlOnly); }, kStyle},
        {17, 1,
            [](F facts, S) {
                static const LinearPattern hidden =
                    pattern("(<font[^>]*color\\s*=\\s*[\"']?\\s*(#?fff(fff)?|white)\\b)|(font-size\\s*:\\s*[01](\\.\\d+"
                            ")?\\s*(px|pt)?\\s*[;\"'])"
                            "|(<[^>]*\\bstyle\\s*=\\s*[\"'][^\"']*[^-]color\\s*:\\s*(#fff(fff)?|white)\\b)");
                return found("HTML with hidden text", hidden.in(facts.htmlUtf8));
            },
            kStyle},
        {18, 1,
            [](F facts, S) {
                static const LinearPattern remote = pattern("<img\\b[^>]*\\bsrc\\s*=\\s*[\"']?\\s*https?://");
                return found("pictures from remote servers", remote.in(facts.htmlUtf8));
            },
            kStyle},
        {19, 1,
            [](F facts, S) {
                static const LinearPattern formOrScript = pattern("<\\s*(form|script)\\b");
                return found("HTML with a form or a script", formOrScript.in(facts.htmlUtf8));
            },
            kStyle},
        {20, 1,
            [](F facts, S) {
                static const LinearPattern link =
                    pattern("<a\\b[^>]*\\bhref\\s*=\\s*[\"']?\\s*https?://([^/\"'\\s>:?#]+)[^>]*>(.*?)</a>");
                static const LinearPattern shown =
                    pattern("^\\s*(https?://)?(www\\.)?(([a-z0-9-]+\\.)+[a-z]{2,})(\\s|/|$)");
                static const LinearPattern tags("<[^>]*>", LinearPattern::None);
                QString shows;
                link.each(facts.htmlUtf8, 200, [&](const QStringList &match) {
                    const QStringList text = shown.find(tags.replaced(match.at(2).toUtf8(), ""));
                    if (!text.isEmpty() && registrableDomain(text.at(3)) != registrableDomain(match.at(1)))
                        shows = text.at(3);
                    return shows.isEmpty();
                });
                return shows.isEmpty() ? QString() : withDetail("link shows another address", shows);
            },
            kStyle},
        {21, 3,
            [](F facts, S) {
                static const LinearPattern numericLink =
                    pattern("\\bhref\\s*=\\s*[\"']?\\s*https?://(\\d{1,3}\\.){3}\\d{1,3}\\b");
                return found("link to a numeric IP address", numericLink.in(facts.htmlUtf8));
            }},
        {22, 1,
            [](F facts, S) {
                static const LinearPattern link = pattern("\\bhref\\s*=|\\bhttps?://");
                static const LinearPattern word("\\w+", LinearPattern::None);
                const QByteArray &linked = facts.html.isEmpty() ? facts.textUtf8 : facts.htmlUtf8;
                // Most plain mail has no link at all: looked for plainly first.
                if (facts.html.isEmpty() && !linked.contains("://"))
                    return QString();
                const int links = link.count(linked, 1000);
                if (links < 5)
                    return QString();
                const int words = word.count(facts.textUtf8, 30 * links);
                return words < 30 * links ? QStringLiteral("%1 links in %2 words").arg(links).arg(words) : QString();
            },
            kStyle},
        {23, 5,
            [](F facts, S) {
                for (const QString &name : facts.attachments) {
                    if (programExtensions().contains(extensionOf(name)))
                        return withDetail("program attachment", name);
                }
                return QString();
            }},
        {24, 5,
            [](F facts, S) {
                // "invoice.pdf.exe": a harmless-looking name that runs.
                static const LinearPattern doubled = pattern("\\.[a-z0-9]{2,4}\\s*\\.([a-z0-9]{2,4})\\s*$");
                for (const QString &name : facts.attachments) {
                    const QStringList match = doubled.find(name);
                    if (!match.isEmpty() && programExtensions().contains(match.at(1).toLower()))
                        return withDetail("attachment with a double extension", name);
                }
                return QString();
            }},
        {25, 2, [](F facts, S) { return found("no Date field", facts.header("date").isEmpty()); }},
        {26, 2,
            [](F facts, S) {
                // Against the time the user's server received it: mail read
                // long after it came is not suspect.
                if (!facts.date.isValid())
                    return QString();
                const QDateTime reference = facts.received.isValid() ? facts.received : QDateTime::currentDateTimeUtc();
                const qint64 ahead = reference.secsTo(facts.date);
                return ahead > 24 * 3600 || ahead < -10 * 24 * 3600
                    ? QStringLiteral("date %1 days off").arg(ahead / (24 * 3600))
                    : QString();
            }},
        {27, 1, [](F facts, S) { return found("no Message-ID", facts.header("message-id").isEmpty()); }},
        {28, 1,
            [](F facts, S) {
                static const LinearPattern wellFormed("^<[^<>@\\s]+@[^<>@\\s]+\\.[^<>@\\s]+>$", LinearPattern::None);
                const QString id = facts.header("message-id").trimmed();
                return found("malformed Message-ID", !id.isEmpty() && !wellFormed.in(id));
            }},
        {29, 1,
            [](F facts, S) {
                static const LinearPattern angle("<([^<>]*)>", LinearPattern::None);
                const QString path = facts.header("return-path");
                const QStringList match = angle.find(path);
                const QString address = (!match.isEmpty() ? match.at(1) : path).trimmed().toLower();
                return !address.isEmpty() && !facts.fromAddress.isEmpty()
                        && registrableDomain(domainOf(address)) != registrableDomain(domainOf(facts.fromAddress))
                    ? withDetail("Return-Path differs", address)
                    : QString();
            }},
        {30, 1,
            [](F facts, S) {
                const QString replyTo = facts.header("reply-to");
                return !replyTo.isEmpty() && !facts.fromAddress.isEmpty()
                        && !replyTo.contains(QLatin1Char('@') + domainOf(facts.fromAddress), Qt::CaseInsensitive)
                    ? withDetail("Reply-To differs", replyTo)
                    : QString();
            }},
        {31, 1,
            [](F facts, S) {
                const QString local = facts.fromAddress.left(facts.fromAddress.indexOf(QLatin1Char('@')));
                const qsizetype digits = std::count_if(local.begin(), local.end(), [](QChar c) { return c.isDigit(); });
                return found(
                    "sender's address full of digits", digits >= 5 || (local.size() >= 4 && digits * 2 > local.size()));
            }},
        {32, 2,
            [](F facts, S settings) {
                // RFC 5321: a domain without MX records takes mail at its own
                // address; only a domain with neither has no mail server.
                const QString domain = domainOf(facts.fromAddress);
                if (!settings.dns || facts.fromAddress.isEmpty() || !isHostName(domain))
                    return QString();
                const std::optional<QStringList> exchanges = settings.dns->answer({domain, DnsQuestion::Type::MX});
                const std::optional<QStringList> addresses = settings.dns->answer({domain, DnsQuestion::Type::A});
                return exchanges && addresses && exchanges->isEmpty() && addresses->isEmpty()
                    ? withDetail("sender's domain has no mail server", domain)
                    : QString();
            }},
        {33, 2,
            [](F facts, S) {
                return facts.eightBitBytes >= 20 && !facts.charsetDeclared
                    ? QStringLiteral("%1 8-bit characters, no character set").arg(facts.eightBitBytes)
                    : QString();
            }},
        {34, 1,
            [](F facts, S) {
                const bool plain =
                    std::all_of(facts.subject.begin(), facts.subject.end(), [](QChar c) { return c.unicode() < 128; });
                return found("subject encoded without need", facts.rawSubject.contains("=?") && plain);
            }},
        {35, 3,
            [](F, S settings) {
                for (const ReceivedHop &hop : settings.hops) {
                    const QString blocked = blockedHop(settings, hop);
                    if (!blocked.isEmpty())
                        return withDetail("relayed through a blocked server", blocked);
                }
                return QString();
            }},
        {36, 2,
            [](F, S settings) {
                // A server that calls itself by a big provider's name from an
                // address whose name in the DNS is not the provider's. Without
                // that name (not looked up, or written as the only name) nothing
                // can be said.
                for (const ReceivedHop &hop : settings.hops) {
                    for (const QString &provider : wellKnownProviders()) {
                        const bool claims = hop.helo == provider || hop.helo.endsWith(QLatin1Char('.') + provider);
                        if (claims && !hop.rdns.isEmpty() && !hop.rdns.endsWith(provider))
                            return withDetail("forged host name", hop.helo);
                    }
                }
                return QString();
            }},
        {37, 1,
            [](F facts, S) {
                const qsizetype received = std::count_if(facts.headers.begin(), facts.headers.end(),
                    [](const auto &field) { return field.first == "received"; });
                return received > 15 ? QStringLiteral("%1 Received fields").arg(received) : QString();
            }},
        {38, 1, [](F facts, S) { return found("no Received field", facts.header("received").isEmpty()); }},
        {39, 3,
            [](F facts, S) {
                static const QStringList bulk{QStringLiteral("group mail"), QStringLiteral("mass mail"),
                    QStringLiteral("send-safe"), QStringLiteral("dynamic mail"), QStringLiteral("mailking"),
                    QStringLiteral("atlas mailer"), QStringLiteral("aureate"), QStringLiteral("floodgate"),
                    QStringLiteral("emailer platinum"), QStringLiteral("bulk"), QStringLiteral("stormpost"),
                    QStringLiteral("mail bomber"), QStringLiteral("egroupmail"), QStringLiteral("jixing"),
                    QStringLiteral("massmailer"), QStringLiteral("express mail blaster"),
                    QStringLiteral("ultimate mailer"), QStringLiteral("desktop server 200"),
                    QStringLiteral("super mail sender"), QStringLiteral("email magic"), QStringLiteral("worldmerge")};
                const QString entry = listedMailer(&bulk, facts);
                return entry.isEmpty() ? QString() : withDetail("bulk mailer", entry);
            }},
        {40, 1,
            [](F facts, S) {
                return found(
                    "no mailer name", facts.header("x-mailer").isEmpty() && facts.header("user-agent").isEmpty());
            }},
        {41, 1,
            [](F facts, S settings) {
                if (!settings.addressee || settings.addressee->addresses.isEmpty() || facts.recipients.isEmpty())
                    return QString();
                for (const QString &own : settings.addressee->addresses) {
                    if (facts.recipients.contains(own))
                        return QString();
                }
                return QStringLiteral("your address not in To or Cc");
            }},
        {42, 1,
            [](F facts, S) {
                if (facts.recipients.size() < 4)
                    return QString();
                for (qsizetype i = 1; i < facts.recipients.size(); ++i) {
                    if (facts.recipients.at(i - 1) >= facts.recipients.at(i))
                        return QString();
                }
                return QStringLiteral("recipients in alphabetical order");
            },
            kStyle},
        {43, 2,
            [](F facts, S) {
                int letters = 0;
                int capitals = 0;
                for (const QChar c : QStringView(facts.text).left(20000)) {
                    const char16_t u = c.unicode();
                    if (u < 128) {
                        const bool upper = u >= 'A' && u <= 'Z';
                        letters += upper || (u >= 'a' && u <= 'z') ? 1 : 0;
                        capitals += upper ? 1 : 0;
                    } else if (c.isLetter()) {
                        ++letters;
                        capitals += c.isUpper() ? 1 : 0;
                    }
                }
                return found("text mostly in capitals", letters >= 100 && capitals * 2 > letters);
            }},
        {44, 1,
            [](F facts, S) {
                const QStringView text = QStringView(facts.text).left(20000);
                const int n = int(std::count_if(text.begin(), text.end(), [](QChar c) {
                    return c == QLatin1Char('!') || c == QLatin1Char('$') || c == QChar(0x20ac) || c == QChar(0x00a3);
                }));
                return n >= 10 && n * 100 > text.size()
                    ? QStringLiteral("%1 exclamation marks or currency signs").arg(n)
                    : QString();
            }},
        {45, 3,
            [](F facts, S settings) {
                if (!settings.learned)
                    return QString();
                QList<QByteArray> telling;
                const double probability = settings.learned->spamProbability(facts.words, &telling);
                if (probability < kStatisticalSpam)
                    return QString();
                QStringList words;
                for (const QByteArray &word : std::as_const(telling))
                    words.append(QString::fromUtf8(word));
                return QStringLiteral("statistics: %1 % spam (%2)")
                    .arg(int(probability * 100))
                    .arg(words.join(QStringLiteral(", ")));
            }},
        {46, 1,
            [](F facts, S) {
                static const LinearPattern removal = pattern(
                    "(to be removed from|remove yourself from|to unsubscribe from this (mailing|e-?mail|list)|opt[- "
                    "]?out"
                    "|reply with (\"?remove\"?|unsubscribe) in the subject|click here to (be )?(removed|unsubscribe)"
                    "|you (are )?receiv(e|ed|ing) this (e-?mail|message) because|this (e-?mail|message) is sent in "
                    "compliance)");
                return found("mass mailing unsubscribe text", removal.in(utf8Left(facts.text, 100000)));
            },
            kStyle},
        {47, 1,
            [](F facts, S) {
                static const LinearPattern image = pattern("<img\\b");
                static const LinearPattern word("\\w{2,}", LinearPattern::None);
                const int images = image.count(facts.htmlUtf8, 3) + facts.imageParts;
                return found("mostly one picture", images == 1 && word.count(facts.textUtf8, 30) < 30);
            }},
        {48, 2, [](F facts, S) { return found("text in Base64", facts.base64Text && facts.attachments.isEmpty()); }},
        {49, 3,
            [](F facts, S) {
                static const LinearPattern broken = pattern("\\w<!--[^>]{0,40}-->\\w");
                return found("words broken by HTML comments", broken.in(facts.htmlUtf8));
            }},
        {50, 1,
            [](F facts, S) {
                // A run of consonants, or a code of letters and digits ending
                // it, whichever comes first.
                static const LinearPattern consonants = pattern("[bcdfghjklmnpqrstvwxz]{6,}");
                qsizetype codeAt = facts.subject.size();
                QString junk = trailingCode(facts.subject, &codeAt);
                const QByteArray subject = facts.subject.toUtf8();
                qsizetype runAt = 0;
                const QStringList run = consonants.find(subject, &runAt);
                if (!run.isEmpty() && QString::fromUtf8(subject.left(runAt)).size() < codeAt)
                    junk = run.first();
                return junk.isEmpty() ? QString() : withDetail("random characters in the subject", junk.trimmed());
            }},
        {51, 1,
            [](F, S settings) {
                return settings.otherAccounts.isEmpty()
                    ? QString()
                    : withDetail("also sent to your account", settings.otherAccounts.join(QStringLiteral(", ")));
            }},
        {52, 2,
            [](F facts, S) {
                return found("sender uses the recipient's address",
                    !facts.fromAddress.isEmpty() && facts.recipients.contains(facts.fromAddress));
            }},
        {53, 1,
            [](F facts, S) {
                return found(
                    "no text", facts.text.trimmed().isEmpty() && facts.imageParts == 0 && facts.attachments.isEmpty());
            }},
        {54, 1,
            [](F facts, S) {
                const QString priority = facts.header("x-priority").trimmed();
                return found("highest priority",
                    priority.startsWith(QLatin1Char('1'))
                        || facts.header("x-msmail-priority").compare(QLatin1String("high"), Qt::CaseInsensitive) == 0
                        || facts.header("importance").compare(QLatin1String("high"), Qt::CaseInsensitive) == 0);
            }},
        {55, 5,
            [](F facts, S) {
                // Names the mass-mailing worms gave their copies.
                static const LinearPattern virus = pattern(
                    "^(your_details|details|document|application|movie\\d*|thank_you|wicked_scr|your_document|document_"
                    "all"
                    "|message|readme|photo|data|text|body|file|doc|mail|test|instruction|msg|letter|attachment|patch"
                    "|q\\d+|your_archive|your_file|yours|screensaver|wininit|setup|install)\\.(pif|scr|exe|com|bat|"
                    "zip\\.exe|txt\\.exe|doc\\.pif)$");
                for (const QString &name : facts.attachments) {
                    if (virus.in(name.trimmed()))
                        return withDetail("attachment named like a virus", name);
                }
                return QString();
            }},
        {56, 1,
            [](F, S settings) {
                const std::optional<ReceivedHop> sender = senderHop(settings.hops);
                return sender && !sender->helo.isEmpty() && !sender->helo.contains(QLatin1Char('.'))
                        && sender->helo != QLatin1String("localhost")
                    ? withDetail("sender's server name without a domain", sender->helo)
                    : QString();
            }},
        {57, 1,
            [](F, S settings) {
                static const LinearPattern home = pattern("(^|[.-])(dsl|adsl|xdsl|dialup|dial-up|dial|ppp|pppoe|cable|"
                                                          "dyn|dynamic|dynip|pool|dhcp|client|cust|home|modem)"
                                                          "[\\d.-]|\\d{1,3}[-.]\\d{1,3}[-.]\\d{1,3}[-.]\\d{1,3}");
                const std::optional<ReceivedHop> sender = senderHop(settings.hops);
                return sender && home.in(sender->rdns) ? withDetail("sender on a home connection", sender->rdns)
                                                       : QString();
            }},
        {58, 5,
            [](F facts, S) {
                const QString flag = facts.header("x-spam-flag").trimmed();
                const QString status = facts.header("x-spam-status").trimmed();
                return found("marked as spam by another filter",
                    flag.startsWith(QLatin1String("yes"), Qt::CaseInsensitive)
                        || status.startsWith(QLatin1String("yes"), Qt::CaseInsensitive));
            }},
        {59, 1,
            [](F facts, S) {
                static const LinearPattern noReply =
                    pattern("^(no[-_.]?reply|do[-_.]?not[-_.]?reply|noresponse|bounce)");
                return found("sender's address takes no replies", noReply.in(facts.fromAddress));
            }},
    };
    return checks;
}

} // namespace jw
