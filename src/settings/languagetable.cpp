#include "settings/languagetable.h"

#include "settings/keyvaluefile.h"
#include "textfile/codec.h"
#include "textfile/errors.h"

#include <utility>

namespace jw {

bool LanguageTable::load(const QString &path)
{
    try {
        LineLimits limits;
        limits.maxLineLength = kMaxLineLength;
        setLines(readLines(path, LineRule::AnyBreak, limits));
        return true;
    } catch (const FileError &) {
        return false;
    }
}

void LanguageTable::setLines(Lines lines)
{
    m_lines = std::move(lines);
    m_firstLineOfName.clear();
    m_firstLineOfName.reserve(m_lines.size());
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        const qsizetype eq = m_lines[i].indexOf('=');
        if (eq < 0)
            continue;
        // Only the first line of a name counts.
        QByteArray name = foldedEntryName(QByteArrayView(m_lines[i].constData(), eq));
        if (!m_firstLineOfName.contains(name))
            m_firstLineOfName.insert(std::move(name), i);
    }
}

QByteArray LanguageTable::raw(TextKey key) const
{
    const auto it = m_firstLineOfName.constFind(foldedEntryName(key.name()));
    if (it == m_firstLineOfName.constEnd())
        return {};
    const QByteArray &line = m_lines[*it];
    return line.mid(line.indexOf('=') + 1);
}

QString LanguageTable::text(TextKey key) const
{
    return decodeDisplay(raw(key));
}

} // namespace jw
