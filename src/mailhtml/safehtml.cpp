#include "mailhtml/safehtml.h"

#include <QByteArray>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <cctype>
#include <gumbo.h>
#include <vector>

namespace jw {

namespace {

enum class Kind {
    Drop, // the element and everything in it go
    Unwrap, // the element goes, its content stays
    Inline, // kept as it is
    Block, // kept while the block depth allows
    Table, // kept while the table depth allows
    TableRow, // inside a kept table only
    TableCell, // inside a kept table only
    Void, // kept, has no content
};

struct TagRule
{
    GumboTag tag;
    Kind kind;
};

constexpr TagRule kRules[] = {
    {GUMBO_TAG_SCRIPT, Kind::Drop},
    {GUMBO_TAG_STYLE, Kind::Drop},
    {GUMBO_TAG_HEAD, Kind::Drop},
    {GUMBO_TAG_TITLE, Kind::Drop},
    {GUMBO_TAG_TEMPLATE, Kind::Drop},
    {GUMBO_TAG_IFRAME, Kind::Drop},
    {GUMBO_TAG_FRAMESET, Kind::Drop},
    {GUMBO_TAG_FRAME, Kind::Drop},
    {GUMBO_TAG_OBJECT, Kind::Drop},
    {GUMBO_TAG_EMBED, Kind::Drop},
    {GUMBO_TAG_APPLET, Kind::Drop},
    {GUMBO_TAG_SVG, Kind::Drop},
    {GUMBO_TAG_MATH, Kind::Drop},
    {GUMBO_TAG_SELECT, Kind::Drop},
    {GUMBO_TAG_INPUT, Kind::Drop},
    {GUMBO_TAG_AUDIO, Kind::Drop},
    {GUMBO_TAG_VIDEO, Kind::Drop},
    {GUMBO_TAG_CANVAS, Kind::Drop},
    {GUMBO_TAG_LINK, Kind::Drop},
    {GUMBO_TAG_META, Kind::Drop},
    {GUMBO_TAG_BASE, Kind::Drop},
    {GUMBO_TAG_B, Kind::Inline},
    {GUMBO_TAG_I, Kind::Inline},
    {GUMBO_TAG_U, Kind::Inline},
    {GUMBO_TAG_EM, Kind::Inline},
    {GUMBO_TAG_STRONG, Kind::Inline},
    {GUMBO_TAG_S, Kind::Inline},
    {GUMBO_TAG_STRIKE, Kind::Inline},
    {GUMBO_TAG_SMALL, Kind::Inline},
    {GUMBO_TAG_BIG, Kind::Inline},
    {GUMBO_TAG_SUB, Kind::Inline},
    {GUMBO_TAG_SUP, Kind::Inline},
    {GUMBO_TAG_TT, Kind::Inline},
    {GUMBO_TAG_CODE, Kind::Inline},
    {GUMBO_TAG_FONT, Kind::Inline},
    {GUMBO_TAG_SPAN, Kind::Inline},
    {GUMBO_TAG_A, Kind::Inline},
    {GUMBO_TAG_P, Kind::Block},
    {GUMBO_TAG_DIV, Kind::Block},
    {GUMBO_TAG_BLOCKQUOTE, Kind::Block},
    {GUMBO_TAG_CENTER, Kind::Block},
    {GUMBO_TAG_PRE, Kind::Block},
    {GUMBO_TAG_UL, Kind::Block},
    {GUMBO_TAG_OL, Kind::Block},
    {GUMBO_TAG_LI, Kind::Block},
    {GUMBO_TAG_DL, Kind::Block},
    {GUMBO_TAG_DT, Kind::Block},
    {GUMBO_TAG_DD, Kind::Block},
    {GUMBO_TAG_H1, Kind::Block},
    {GUMBO_TAG_H2, Kind::Block},
    {GUMBO_TAG_H3, Kind::Block},
    {GUMBO_TAG_H4, Kind::Block},
    {GUMBO_TAG_H5, Kind::Block},
    {GUMBO_TAG_H6, Kind::Block},
    {GUMBO_TAG_TABLE, Kind::Table},
    {GUMBO_TAG_TR, Kind::TableRow},
    {GUMBO_TAG_TD, Kind::TableCell},
    {GUMBO_TAG_TH, Kind::TableCell},
    {GUMBO_TAG_BR, Kind::Void},
    {GUMBO_TAG_HR, Kind::Void},
};

Kind kindOf(GumboTag tag)
{
    for (const TagRule &rule : kRules) {
        if (rule.tag == tag)
            return rule.kind;
    }
    return Kind::Unwrap; // html, body, tbody, form, unknown tags...
}

const GumboAttribute *attribute(const GumboElement &element, const char *name)
{
    return gumbo_get_attribute(&element.attributes, name);
}

QString escaped(const char *text)
{
    return QString::fromUtf8(text).toHtmlEscaped();
}

bool isSafeLink(const QString &href)
{
    const QString lower = href.trimmed().toLower();
    return lower.startsWith(QLatin1String("http://")) || lower.startsWith(QLatin1String("https://"))
        || lower.startsWith(QLatin1String("mailto:"));
}

// Attributes that only change how something looks and cannot load anything
// or make a box huge.
QString keptAttributes(const GumboElement &element)
{
    static const QRegularExpression colour(QStringLiteral("^#?[A-Za-z0-9]{1,20}$"));
    static const QRegularExpression smallNumber(QStringLiteral("^[+-]?[0-9]{1,2}$"));
    static const QRegularExpression word(QStringLiteral("^[A-Za-z]{1,10}$"));
    QString out;
    auto keep = [&](const char *name, const QRegularExpression &pattern) {
        if (const GumboAttribute *a = attribute(element, name)) {
            const QString value = QString::fromUtf8(a->value).trimmed();
            if (pattern.match(value).hasMatch())
                out += QLatin1Char(' ') + QLatin1String(name) + QStringLiteral("=\"") + value + QLatin1Char('"');
        }
    };
    keep("color", colour);
    keep("bgcolor", colour);
    keep("size", smallNumber);
    keep("align", word);
    keep("valign", word);
    keep("colspan", smallNumber);
    keep("rowspan", smallNumber);
    keep("border", smallNumber);
    keep("cellpadding", smallNumber);
    keep("cellspacing", smallNumber);
    if (const GumboAttribute *face = attribute(element, "face")) {
        const QString value = QString::fromUtf8(face->value).left(64);
        out += QStringLiteral(" face=\"") + value.toHtmlEscaped() + QLatin1Char('"');
    }
    return out;
}

// One element being written, with what its content may still hold.
struct Frame
{
    const GumboNode *node;
    unsigned next; // the next child to visit
    QString closing; // what ends the element in the output
    int blockDepth;
    int tableDepth;
    bool inTable; // inside a table that was kept
};

class Writer
{
public:
    explicit Writer(const SafeHtmlLimits &limits)
        : m_limits(limits)
    {
    }

    // Walks the tree without recursion: mail can nest deeper than any stack.
    QString write(const GumboNode *root)
    {
        std::vector<Frame> stack;
        stack.push_back(Frame{root, 0, QString(), 0, 0, false});
        while (!stack.empty()) {
            Frame &frame = stack.back();
            const GumboVector *children = childrenOf(frame.node);
            if (!children || frame.next >= children->length) {
                m_out += frame.closing;
                stack.pop_back();
                continue;
            }
            const auto *child = static_cast<const GumboNode *>(children->data[frame.next++]);
            switch (child->type) {
            case GUMBO_NODE_TEXT:
            case GUMBO_NODE_WHITESPACE:
            case GUMBO_NODE_CDATA:
                m_out += escaped(child->v.text.text);
                break;
            case GUMBO_NODE_ELEMENT:
            case GUMBO_NODE_TEMPLATE: {
                Frame next{child, 0, QString(), frame.blockDepth, frame.tableDepth, frame.inTable};
                if (open(child->v.element, next))
                    stack.push_back(std::move(next));
                break;
            }
            case GUMBO_NODE_DOCUMENT:
            case GUMBO_NODE_COMMENT:
                break;
            }
        }
        return m_out;
    }

private:
    static const GumboVector *childrenOf(const GumboNode *node)
    {
        if (node->type == GUMBO_NODE_DOCUMENT)
            return &node->v.document.children;
        if (node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE)
            return &node->v.element.children;
        return nullptr;
    }

    bool mayAddElement() { return ++m_elements <= m_limits.maxElements; }

    // Writes the element's opening and sets what closes it; false when the
    // element and its content are dropped.
    bool open(const GumboElement &element, Frame &frame)
    {
        const char *name = gumbo_normalized_tagname(element.tag);
        switch (kindOf(element.tag)) {
        case Kind::Drop:
            return false;
        case Kind::Unwrap:
            if (element.tag == GUMBO_TAG_IMG) {
                if (const GumboAttribute *alt = attribute(element, "alt"))
                    m_out += escaped(alt->value);
                return false;
            }
            return true;
        case Kind::Void:
            if (mayAddElement())
                m_out += QLatin1Char('<') + QLatin1String(name) + QLatin1Char('>');
            return false;
        case Kind::Inline: {
            if (!mayAddElement())
                return true;
            QString attributes;
            if (element.tag == GUMBO_TAG_A) {
                const GumboAttribute *href = attribute(element, "href");
                if (!href || !isSafeLink(QString::fromUtf8(href->value)))
                    return true;
                attributes = QStringLiteral(" href=\"") + QString::fromUtf8(href->value).trimmed().toHtmlEscaped()
                    + QLatin1Char('"');
            } else {
                attributes = keptAttributes(element);
            }
            openTag(name, attributes, frame);
            return true;
        }
        case Kind::Block:
            if (frame.blockDepth >= m_limits.maxBlockDepth || !mayAddElement()) {
                m_out += QStringLiteral("<br>");
                return true;
            }
            ++frame.blockDepth;
            openTag(name, keptAttributes(element), frame);
            return true;
        case Kind::Table:
            frame.inTable = false;
            if (frame.tableDepth >= m_limits.maxTableDepth || frame.blockDepth >= m_limits.maxBlockDepth
                || !mayAddElement()) {
                m_out += QStringLiteral("<br>");
                return true;
            }
            ++frame.tableDepth;
            ++frame.blockDepth;
            frame.inTable = true;
            openTag(name, keptAttributes(element), frame);
            return true;
        case Kind::TableRow:
        case Kind::TableCell:
            if (!frame.inTable || !mayAddElement()) {
                // A flattened table still keeps its cells' words apart.
                m_out += kindOf(element.tag) == Kind::TableRow ? QStringLiteral("<br>") : QStringLiteral(" ");
                return true;
            }
            if (kindOf(element.tag) == Kind::TableCell)
                ++frame.blockDepth;
            openTag(name, keptAttributes(element), frame);
            return true;
        }
        return true;
    }

    void openTag(const char *name, const QString &attributes, Frame &frame)
    {
        m_out += QLatin1Char('<') + QLatin1String(name) + attributes + QLatin1Char('>');
        frame.closing = QStringLiteral("</") + QLatin1String(name) + QLatin1Char('>');
    }

    const SafeHtmlLimits &m_limits;
    QString m_out;
    int m_elements = 0;
};

// The parser's own clean-up recurses once per level of nesting; it runs on a
// thread with room for any depth a message can reach.
constexpr uint kParserStack = 512u * 1024 * 1024;

// Tags that never hold content, and tags that the next one of their kind
// closes by itself (so that a list of a thousand unclosed items is not deep).
bool leavesNothingOpen(const QByteArray &name)
{
    static const char *const names[] = {"br", "hr", "img", "input", "meta", "link", "area", "base", "col", "embed",
        "param", "source", "track", "wbr", "li", "p", "td", "th", "tr", "dt", "dd", "option", "tbody", "thead", "tfoot",
        "!", "?"};
    for (const char *n : names) {
        if (name == n)
            return true;
    }
    return false;
}

// Where the input stops being read: before the tag past maxTags, or the one
// that would leave more than maxOpenTags elements open. This only looks at
// "<name" and "</name" the way a tokenizer starts tags; misjudging a rare
// case only cuts a little earlier.
qsizetype tagCut(const QByteArray &utf8, const SafeHtmlLimits &limits)
{
    int tags = 0;
    int open = 0;
    const char *data = utf8.constData();
    const qsizetype size = utf8.size();
    for (qsizetype i = 0; i + 1 < size; ++i) {
        if (data[i] != '<')
            continue;
        const bool closing = data[i + 1] == '/';
        qsizetype start = i + (closing ? 2 : 1);
        qsizetype end = start;
        while (end < size && (std::isalnum(uchar(data[end])) || data[end] == '!' || data[end] == '?'))
            ++end;
        if (end == start)
            continue;
        if (++tags > limits.maxTags)
            return i;
        const QByteArray name = QByteArray(data + start, end - start).toLower();
        if (leavesNothingOpen(name))
            continue;
        if (closing) {
            open = std::max(0, open - 1);
        } else {
            const qsizetype close = utf8.indexOf('>', end);
            if (close > 0 && data[close - 1] == '/')
                continue; // <x/> holds nothing
            if (++open > limits.maxOpenTags)
                return i;
        }
    }
    return size;
}

} // namespace

QString sanitizeMailHtml(const QString &html, const SafeHtmlLimits &limits, qsizetype *charactersRead)
{
    QByteArray utf8 = html.toUtf8();
    const qsizetype cut = tagCut(utf8, limits);
    if (charactersRead)
        *charactersRead = cut < utf8.size() ? QString::fromUtf8(utf8.left(cut)).size() : html.size();
    utf8.truncate(cut);
    QString out;
    QThread *parser = QThread::create([&] {
        GumboOutput *tree = gumbo_parse_with_options(&kGumboDefaultOptions, utf8.constData(), size_t(utf8.size()));
        out = Writer(limits).write(tree->document);
        gumbo_destroy_output(&kGumboDefaultOptions, tree);
    });
    parser->setStackSize(kParserStack);
    parser->start();
    parser->wait();
    delete parser;
    return out;
}

QString plainMailAsHtml(const QString &original)
{
    QString text = original;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    // Linear: one pass of a pattern without nested repetition.
    static const QRegularExpression address(
        QStringLiteral("\\b(?:https?://|mailto:|www\\.)[^\\s<>\"]+"), QRegularExpression::CaseInsensitiveOption);
    QString out = QStringLiteral("<pre style=\"white-space: pre-wrap\">");
    out.reserve(text.size() * 11 / 10 + 64);
    qsizetype done = 0;
    QRegularExpressionMatchIterator matches = address.globalMatch(text);
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        QString target = match.captured();
        // Closing punctuation of the sentence is not part of the address.
        while (!target.isEmpty() && QStringLiteral(".,;:!?)]}'>").contains(target.back()))
            target.chop(1);
        if (target.isEmpty())
            continue;
        out += text.mid(done, match.capturedStart() - done).toHtmlEscaped();
        const QString href =
            target.startsWith(QLatin1String("www."), Qt::CaseInsensitive) ? QStringLiteral("http://") + target : target;
        out += QStringLiteral("<a href=\"") + href.toHtmlEscaped() + QStringLiteral("\">") + target.toHtmlEscaped()
            + QStringLiteral("</a>");
        done = match.capturedStart() + target.size();
    }
    out += text.mid(done).toHtmlEscaped() + QStringLiteral("</pre>");
    return out;
}

} // namespace jw
