#pragma once

#include <QByteArray>
#include <QLocale>
#include <QStringView>

#include <memory>

namespace jw {

// Alphabetical order without regard to letter case, as the locale sorts:
// the order of QCollator with case insensitivity, as binary keys that can be
// stored compactly and compared with memcmp (a shorter key that is a prefix
// of a longer one sorts first). Keys of equal texts are equal.
class CaseInsensitiveCollation
{
public:
    explicit CaseInsensitiveCollation(const QLocale &locale = QLocale());
    ~CaseInsensitiveCollation();
    CaseInsensitiveCollation(const CaseInsensitiveCollation &) = delete;
    CaseInsensitiveCollation &operator=(const CaseInsensitiveCollation &) = delete;

    // Appends the key of `text` to `keys`; returns its length.
    qsizetype appendKey(QStringView text, QByteArray &keys) const;
    QByteArray key(QStringView text) const;

private:
    struct Icu;
    std::unique_ptr<Icu> m_icu; // none in the "C" locale: code point order
};

// Compares two keys as the collation orders their texts.
int compareKeys(QByteArrayView a, QByteArrayView b);

} // namespace jw
