#include "textfile/collation.h"

#include <cstring>
#include <unicode/ucol.h>

namespace jw {

struct CaseInsensitiveCollation::Icu
{
    UCollator *collator = nullptr;
    ~Icu()
    {
        if (collator)
            ucol_close(collator);
    }
};

CaseInsensitiveCollation::CaseInsensitiveCollation(const QLocale &locale)
{
    if (locale.language() == QLocale::C)
        return;
    // Set up as QCollator sets up its ICU collator, so that both agree.
    auto icu = std::make_unique<Icu>();
    UErrorCode status = U_ZERO_ERROR;
    const QByteArray name = locale.bcp47Name().toLatin1().replace('-', '_');
    icu->collator = ucol_open(name.constData(), &status);
    if (U_FAILURE(status) || !icu->collator) {
        icu->collator = nullptr;
        m_icu = std::move(icu); // no collator: every key empty, all texts equal
        return;
    }
    auto set = [&icu](UColAttribute attribute, UColAttributeValue value) {
        UErrorCode error = U_ZERO_ERROR;
        ucol_setAttribute(icu->collator, attribute, value, &error);
    };
    set(UCOL_NORMALIZATION_MODE, UCOL_ON);
    set(UCOL_STRENGTH, UCOL_SECONDARY); // letter case is a tertiary difference
    set(UCOL_NUMERIC_COLLATION, UCOL_OFF);
    set(UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE);
    m_icu = std::move(icu);
}

CaseInsensitiveCollation::~CaseInsensitiveCollation() = default;

qsizetype CaseInsensitiveCollation::appendKey(QStringView text, QByteArray &keys) const
{
    const qsizetype start = keys.size();
    if (!m_icu) {
        // Code point order: the UTF-8 bytes, up to a NUL as a C string ends.
        keys.append(text.toUtf8());
        const qsizetype nul = keys.indexOf('\0', start);
        if (nul >= 0)
            keys.truncate(nul);
        return keys.size() - start;
    }
    if (!m_icu->collator)
        return 0;
    const auto *chars = reinterpret_cast<const UChar *>(text.utf16());
    const int32_t length = int32_t(std::min<qsizetype>(text.size(), INT32_MAX));
    qsizetype room = 16 + 2 * text.size();
    keys.resize(start + room);
    int32_t size = ucol_getSortKey(m_icu->collator, chars, length, reinterpret_cast<uint8_t *>(keys.data() + start),
        int32_t(std::min<qsizetype>(room, INT32_MAX)));
    if (size > room) {
        room = size;
        keys.resize(start + room);
        size = ucol_getSortKey(m_icu->collator, chars, length, reinterpret_cast<uint8_t *>(keys.data() + start), size);
    }
    // The key ends in a NUL, which is left out.
    keys.truncate(start + std::max(size - 1, 0));
    return keys.size() - start;
}

QByteArray CaseInsensitiveCollation::key(QStringView text) const
{
    QByteArray out;
    appendKey(text, out);
    return out;
}

int compareKeys(QByteArrayView a, QByteArrayView b)
{
    const qsizetype common = std::min(a.size(), b.size());
    if (common > 0) {
        if (const int c = std::memcmp(a.data(), b.data(), size_t(common)))
            return c;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

} // namespace jw
