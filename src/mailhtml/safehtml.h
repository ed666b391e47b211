#pragma once

#include <QString>

namespace jw {

// What the safe subset may hold. Deep nesting is what makes a rich-text
// view slow (nested tables cost exponential layout time), so structure past
// these depths is flattened: its text stays, its boxes go.
struct SafeHtmlLimits
{
    int maxBlockDepth = 12; // nested blocks (div, p, lists, quotes, cells)
    int maxTableDepth = 3; // tables inside tables
    int maxElements = 20000;
    // Tags read at all: an HTML5 parser's work grows with the square of the
    // nesting, so a flood of unclosed tags is cut off after this many.
    int maxTags = 6000;
    // ... and after this many elements left open at once (browsers stop
    // nesting at a few hundred too).
    int maxOpenTags = 200;
};

// Parses mail HTML the way a browser does (HTML5, through gumbo) and writes
// it again as a small subset for the quarantine preview: text formatting,
// links to http, https and mailto, lists and tables within the limits. No
// scripts, styles, forms, frames, objects or images (an image's alternative
// text stays), no attribute that loads anything or sets sizes.
// `charactersRead`, when given, is set to how much of the input was read:
// less than its length when it was cut at maxTags or maxOpenTags.
QString sanitizeMailHtml(const QString &html, const SafeHtmlLimits &limits = {}, qsizetype *charactersRead = nullptr);

// Plain-text mail as HTML for the same preview: every line and character as
// it stands (escaped, blank lines kept, long lines wrapped), and the web and
// mail addresses in it (http, https, mailto, www.) made links.
QString plainMailAsHtml(const QString &text);

} // namespace jw
