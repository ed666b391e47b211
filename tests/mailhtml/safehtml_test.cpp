#include "mailhtml/safehtml.h"

#include <gtest/gtest.h>

namespace jw {
namespace {

QString nestedTables(int depth)
{
    QString html;
    for (int i = 0; i < depth; ++i)
        html += QStringLiteral("<table><tr><td>cell%1").arg(i);
    for (int i = 0; i < depth; ++i)
        html += QStringLiteral("</td></tr></table>");
    return html;
}

QString nested(const QString &open, const QString &close, int depth)
{
    return open.repeated(depth) + QStringLiteral("deep") + close.repeated(depth);
}

TEST(SafeHtml, KeepsFormattingAndDropsWhatCouldActOrLoad)
{
    const struct
    {
        const char *name;
        QString in;
        QString out;
    } cases[] = {
        {"formatting stays", QStringLiteral("<p align=center><b>Big</b> <font color=red size=+2>sale</font></p>"),
            QStringLiteral("<p align=\"center\"><b>Big</b> <font color=\"red\" size=\"+2\">sale</font></p>")},
        {"scripts and styles go whole", QStringLiteral("<script>alert(1)</script><style>p{}</style>text"),
            QStringLiteral("text")},
        {"safe links stay", QStringLiteral("<a href=\" https://x.example/a?b=1&c=2 \">x</a>"),
            QStringLiteral("<a href=\"https://x.example/a?b=1&amp;c=2\">x</a>")},
        {"other links lose their tag",
            QStringLiteral("<a href=\"javascript:alert(1)\">x</a><a href=file:///etc/passwd>y</a>"),
            QStringLiteral("xy")},
        {"images leave their words", QStringLiteral("<img src=\"http://track.example/p.gif\" alt=\"Logo\">"),
            QStringLiteral("Logo")},
        {"no sizes, styles or events",
            QStringLiteral("<div style=\"font-size:9000px\" onclick=\"x()\" width=99999>a</div>"),
            QStringLiteral("<div>a</div>")},
        {"forms keep their text only",
            QStringLiteral("<form action=x><input value=v>Name<textarea>t</textarea></form>"), QStringLiteral("Namet")},
        {"text is escaped", QStringLiteral("a &lt;b&gt; &amp; c"), QStringLiteral("a &lt;b&gt; &amp; c")},
        {"broken markup is parsed as a browser would", QStringLiteral("<b>bold<i>both</b>italic"),
            QStringLiteral("<b>bold<i>both</i></b><i>italic</i>")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(sanitizeMailHtml(c.in), c.out);
    }
}

// Deep structure is flattened past the limits; every word stays.
TEST(SafeHtml, NestingIsBoundedWhateverTheInput)
{
    const SafeHtmlLimits limits;
    for (const int depth : {16, 24, 32, 64}) {
        SCOPED_TRACE(depth);
        const QString out = sanitizeMailHtml(nestedTables(depth));
        EXPECT_LE(out.count(QStringLiteral("<table")), limits.maxTableDepth);
        for (int i = 0; i < depth; ++i)
            EXPECT_TRUE(out.contains(QStringLiteral("cell%1").arg(i)));
        for (const auto &[open, close] : {std::pair{QStringLiteral("<ul><li>"), QStringLiteral("</li></ul>")},
                 std::pair{QStringLiteral("<div>"), QStringLiteral("</div>")},
                 std::pair{QStringLiteral("<blockquote>"), QStringLiteral("</blockquote>")}}) {
            const QString flat = sanitizeMailHtml(nested(open, close, depth * 3));
            EXPECT_LE(flat.count(QLatin1Char('<')) - flat.count(QStringLiteral("<br>")), 4 * limits.maxBlockDepth);
            EXPECT_TRUE(flat.contains(QStringLiteral("deep")));
        }
    }
    // A megabyte of unclosed tags is read up to the nesting limit, a
    // megabyte of closed ones up to the tag limit, and each says so.
    const QString flood = QStringLiteral("<div><b>x").repeated(120000);
    qsizetype read = 0;
    QString out = sanitizeMailHtml(flood, limits, &read);
    EXPECT_EQ(read, 9 * limits.maxOpenTags / 2);
    EXPECT_EQ(out.count(QLatin1Char('x')), limits.maxOpenTags / 2);
    const QString flat = QStringLiteral("<b>x</b>").repeated(120000);
    out = sanitizeMailHtml(flat, limits, &read);
    EXPECT_EQ(read, 8 * limits.maxTags / 2);
    EXPECT_EQ(out.count(QLatin1Char('x')), limits.maxTags / 2);
    // Items that close themselves do not count as nesting.
    const QString items = QStringLiteral("<ul>") + QStringLiteral("<li>item").repeated(1000) + QStringLiteral("</ul>");
    sanitizeMailHtml(items, limits, &read);
    EXPECT_EQ(read, items.size());
    const QString tables = nestedTables(64);
    sanitizeMailHtml(tables, limits, &read);
    EXPECT_EQ(read, tables.size());
}

} // namespace
} // namespace jw
