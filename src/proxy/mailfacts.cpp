#include "proxy/mailfacts.h"

#include "proxy/linearpattern.h"
#include "proxy/senderevidence.h"
#include "proxy/wordmodel.h"

#include <QHash>

#include <algorithm>
#include <cstring>
#include <gmime/gmime.h>
#include <mutex>

namespace jw {

namespace {

// Decoded text beyond this adds nothing to a judgement.
constexpr qsizetype kMaxText = 256 * 1024;
// Header fields beyond this many are not looked at.
constexpr int kMaxFields = 1000;

void initialiseGMime()
{
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

QString fromUtf8(const char *text)
{
    return text ? QString::fromUtf8(text) : QString();
}

// The character an HTML entity stands for ("nbsp", "#8217", "#x20AC"), as
// UTF-8; a no-break space is a plain one and the invisible ones (soft
// hyphen, zero-width characters) are nothing, so that words split and join
// as the reader sees them. Null for an entity not known.
QByteArray entityText(QByteArrayView name)
{
    static const QHash<QByteArray, QByteArray> named{{"nbsp", " "}, {"amp", "&"}, {"lt", "<"}, {"gt", ">"},
        {"quot", "\""}, {"apos", "'"}, {"copy", "\u00a9"}, {"reg", "\u00ae"}, {"trade", "\u2122"}, {"mdash", "\u2014"},
        {"ndash", "\u2013"}, {"hellip", "\u2026"}, {"lsquo", "\u2018"}, {"rsquo", "\u2019"}, {"ldquo", "\u201c"},
        {"rdquo", "\u201d"}, {"bull", "\u2022"}, {"middot", "\u00b7"}, {"euro", "\u20ac"}, {"pound", "\u00a3"},
        {"laquo", "\u00ab"}, {"raquo", "\u00bb"}, {"shy", ""}, {"zwnj", ""}, {"zwj", ""}};
    if (!name.startsWith('#'))
        return named.value(name.toByteArray().toLower());
    const bool hex = name.size() > 1 && (name.at(1) == 'x' || name.at(1) == 'X');
    bool ok = false;
    const uint code = name.sliced(hex ? 2 : 1).toUInt(&ok, hex ? 16 : 10);
    if (!ok || code == 0 || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff))
        return {};
    if (code == 0xa0)
        return " ";
    if (code == 0xad || code == 0x200b || code == 0x200c || code == 0x200d || code == 0x2060 || code == 0xfeff)
        return "";
    const char32_t character = code;
    return QString::fromUcs4(&character, 1).toUtf8();
}

// HTML's entities replaced by their characters, in one pass.
QByteArray withEntitiesDecoded(const QByteArray &text)
{
    if (!text.contains('&'))
        return text;
    QByteArray out;
    out.reserve(text.size());
    qsizetype at = 0;
    while (at < text.size()) {
        const qsizetype amp = text.indexOf('&', at);
        if (amp < 0)
            break;
        out.append(QByteArrayView(text).sliced(at, amp - at));
        const qsizetype semicolon = text.indexOf(';', amp + 1);
        if (semicolon > amp + 1 && semicolon - amp <= 10) {
            const QByteArray character = entityText(QByteArrayView(text).sliced(amp + 1, semicolon - amp - 1));
            if (!character.isNull()) {
                out.append(character);
                at = semicolon + 1;
                continue;
            }
        }
        out.append('&');
        at = amp + 1;
    }
    out.append(QByteArrayView(text).sliced(at));
    return out;
}

// The text a reader sees of HTML: without scripts, styles and tags, with
// the entities decoded.
QByteArray withoutTags(const QByteArray &html)
{
    static const LinearPattern scripts("<script\\b.*?</script\\s*>|<style\\b.*?</style\\s*>");
    static const LinearPattern tags("<[^>]*>", LinearPattern::None);
    return withEntitiesDecoded(tags.replaced(scripts.replaced(html, ""), " "));
}

struct PartWalk
{
    QByteArray plain; // UTF-8, as GMime decoded it
    QByteArray html;
    QStringList attachments;
    bool base64Text = false;
    int images = 0;
};

QDateTime fromGDateTime(GDateTime *time)
{
    if (!time)
        return {};
    const QDateTime result = QDateTime::fromSecsSinceEpoch(g_date_time_to_unix(time), Qt::UTC);
    g_date_time_unref(time);
    return result;
}

void addAddresses(QStringList &to, InternetAddressList *list)
{
    for (int i = 0; list && i < internet_address_list_length(list) && to.size() < 1000; ++i) {
        InternetAddress *address = internet_address_list_get_address(list, i);
        if (INTERNET_ADDRESS_IS_MAILBOX(address))
            to.append(fromUtf8(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address))).toLower());
        else if (INTERNET_ADDRESS_IS_GROUP(address))
            addAddresses(to, internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address)));
    }
}

void visitPart(GMimeObject *, GMimeObject *part, gpointer data)
{
    auto *walk = static_cast<PartWalk *>(data);
    if (GMIME_IS_PART(part)) {
        if (const char *name = g_mime_part_get_filename(GMIME_PART(part)))
            walk->attachments.append(QString::fromUtf8(name));
    }
    GMimeContentType *partType = g_mime_object_get_content_type(part);
    if (partType && g_mime_content_type_is_type(partType, "image", "*"))
        ++walk->images;
    if (!GMIME_IS_TEXT_PART(part))
        return;
    // Attachments are not the message's text.
    const char *disposition = g_mime_object_get_disposition(part);
    if (disposition && g_ascii_strcasecmp(disposition, "attachment") == 0)
        return;
    GMimeContentType *type = g_mime_object_get_content_type(part);
    const bool html = g_mime_content_type_is_type(type, "text", "html");
    if (!html && !g_mime_content_type_is_type(type, "text", "plain"))
        return;
    if (g_mime_part_get_content_encoding(GMIME_PART(part)) == GMIME_CONTENT_ENCODING_BASE64)
        walk->base64Text = true;
    QByteArray &target = html ? walk->html : walk->plain;
    if (target.size() >= kMaxText)
        return;
    char *text = g_mime_text_part_get_text(GMIME_TEXT_PART(part));
    if (text) {
        QByteArrayView decoded(text);
        // Cut at a character's start, never inside one.
        qsizetype take = std::min(decoded.size(), kMaxText - target.size());
        while (take < decoded.size() && take > 0 && (uchar(decoded[take]) & 0xC0) == 0x80)
            --take;
        target += decoded.first(take);
    }
    g_free(text);
}

} // namespace

MailFacts readMailFacts(const QByteArray &source)
{
    initialiseGMime();
    MailFacts facts;
    GMimeStream *stream = g_mime_stream_mem_new_with_buffer(source.constData(), size_t(source.size()));
    GMimeParser *parser = g_mime_parser_new_with_stream(stream);
    GMimeMessage *message = g_mime_parser_construct_message(parser, nullptr);
    g_object_unref(parser);
    g_object_unref(stream);
    if (!message)
        return facts;

    facts.subject = fromUtf8(g_mime_message_get_subject(message));
    if (InternetAddressList *from = g_mime_message_get_from(message)) {
        char *shown = internet_address_list_to_string(from, nullptr, FALSE);
        facts.from = fromUtf8(shown);
        g_free(shown);
        for (int i = 0; i < internet_address_list_length(from); ++i) {
            InternetAddress *address = internet_address_list_get_address(from, i);
            if (INTERNET_ADDRESS_IS_MAILBOX(address)) {
                facts.fromAddress =
                    fromUtf8(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address))).toLower();
                break;
            }
        }
    }
    if (InternetAddressList *to = g_mime_message_get_to(message))
        facts.toCount = internet_address_list_length(to);
    addAddresses(facts.recipients, g_mime_message_get_to(message));
    addAddresses(facts.recipients, g_mime_message_get_cc(message));
    if (GDateTime *date = g_mime_message_get_date(message))
        facts.date = fromGDateTime(g_date_time_ref(date));
    GMimeHeaderList *fields = g_mime_object_get_header_list(GMIME_OBJECT(message));
    const int fieldCount = fields ? g_mime_header_list_get_count(fields) : 0;
    for (int i = 0; i < fieldCount && i < kMaxFields; ++i) {
        GMimeHeader *field = g_mime_header_list_get_header_at(fields, i);
        const char *value = g_mime_header_get_value(field);
        const QByteArray name = QByteArray(g_mime_header_get_name(field)).toLower();
        facts.headers.append({name, fromUtf8(value).simplified()});
        if (name == "subject" && facts.rawSubject.isEmpty())
            facts.rawSubject = QByteArray(g_mime_header_get_raw_value(field)).trimmed();
        if (name == "received" && !facts.received.isValid() && value) {
            // "... ; Tue, 3 Sep 2002 14:03:01 +0100": the stamp follows the last semicolon.
            const char *stamp = std::strrchr(value, ';');
            if (stamp)
                facts.received = fromGDateTime(g_mime_utils_header_decode_date(stamp + 1));
        }
    }
    PartWalk walk;
    if (GMimeObject *body = g_mime_message_get_mime_part(message)) {
        if (GMIME_IS_TEXT_PART(body))
            visitPart(nullptr, body, &walk);
        else
            g_mime_message_foreach(message, visitPart, &walk);
    }
    g_object_unref(message);

    facts.attachments = walk.attachments;
    facts.base64Text = walk.base64Text;
    facts.imageParts = walk.images;
    const QByteArrayView counted = QByteArrayView(source).first(std::min<qsizetype>(source.size(), 1024 * 1024));
    facts.eightBitBytes = int(std::count_if(counted.begin(), counted.end(), [](char c) { return uchar(c) > 127; }));
    facts.charsetDeclared = facts.eightBitBytes > 0
        && (QLatin1StringView(counted.data(), counted.size())
                .contains(QLatin1StringView("charset"), Qt::CaseInsensitive)
            || facts.rawSubject.contains("=?"));
    facts.html = QString::fromUtf8(walk.html);
    facts.htmlUtf8 = walk.html;
    facts.htmlOnly = walk.plain.isEmpty() && !walk.html.isEmpty();
    facts.textUtf8 = walk.plain.isEmpty() ? withoutTags(walk.html) : walk.plain;
    facts.text = QString::fromUtf8(facts.textUtf8);
    facts.content = walk.html.isEmpty() ? walk.plain : walk.html;
    facts.genuine = senderEvidence(facts, receivedHops(facts));
    facts.words = messageWords(facts);
    return facts;
}

QString domainOf(const QString &address)
{
    const qsizetype at = address.lastIndexOf(QLatin1Char('@'));
    if (at < 0)
        return {};
    QString domain = address.mid(at + 1).trimmed().toLower();
    if (domain.endsWith(QLatin1Char('>')))
        domain.chop(1);
    return domain.trimmed();
}

QString MailFacts::header(const char *name) const
{
    for (const auto &field : headers) {
        if (field.first == name)
            return field.second;
    }
    return {};
}

} // namespace jw
