#include "thunderbird/prefsfile.h"

namespace jw::thunderbird {

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Reads the statements of a prefs.js, remembering where each one stands.
class Reader
{
public:
    explicit Reader(const QByteArray &bytes)
        : m_text(bytes)
    {
    }

    bool atEnd()
    {
        skipSpaceAndComments();
        return m_pos >= m_text.size();
    }

    qsizetype pos() const { return m_pos; }

    void expectWord(QByteArrayView word)
    {
        skipSpaceAndComments();
        if (slice(m_pos, word.size()) != word)
            fail(QStringLiteral("expected \"%1\"").arg(QLatin1String(word)));
        m_pos += word.size();
    }

    void expect(char c)
    {
        skipSpaceAndComments();
        if (m_pos >= m_text.size() || m_text[m_pos] != c)
            fail(QStringLiteral("expected \"%1\"").arg(QLatin1Char(c)));
        ++m_pos;
    }

    QString string()
    {
        skipSpaceAndComments();
        if (m_pos >= m_text.size() || (m_text[m_pos] != '"' && m_text[m_pos] != '\''))
            fail(QStringLiteral("expected a quoted text"));
        const qsizetype opening = m_pos;
        const char quote = m_text[m_pos++];
        QString out;
        qsizetype run = m_pos; // start of the bytes not yet decoded
        auto flush = [&] { out += QString::fromUtf8(m_text.constData() + run, m_pos - run); };
        while (true) {
            if (m_pos >= m_text.size())
                failAt(opening, QStringLiteral("a quoted text does not end"));
            const char c = m_text[m_pos];
            if (c == quote) {
                flush();
                ++m_pos;
                return out;
            }
            if (c != '\\') {
                ++m_pos;
                continue;
            }
            flush();
            if (m_pos + 1 >= m_text.size())
                failAt(opening, QStringLiteral("a quoted text does not end"));
            const char e = m_text[m_pos + 1];
            m_pos += 2;
            switch (e) {
            case '\\':
            case '"':
            case '\'':
                out += QLatin1Char(e);
                break;
            case 'n':
                out += QLatin1Char('\n');
                break;
            case 'r':
                out += QLatin1Char('\r');
                break;
            case 't':
                out += QLatin1Char('\t');
                break;
            case 'x':
                out += QChar(char16_t(hex(2)));
                break;
            case 'u':
                out += QChar(char16_t(hex(4)));
                break;
            default:
                fail(QStringLiteral("unknown escape \"\\%1\"").arg(QLatin1Char(e)));
            }
            run = m_pos;
        }
    }

    PrefValue value()
    {
        skipSpaceAndComments();
        if (m_pos >= m_text.size())
            fail(QStringLiteral("a value is missing"));
        const char c = m_text[m_pos];
        if (c == '"' || c == '\'')
            return PrefValue::string(string());
        if (slice(m_pos, 4) == "true") {
            m_pos += 4;
            return PrefValue::boolean(true);
        }
        if (slice(m_pos, 5) == "false") {
            m_pos += 5;
            return PrefValue::boolean(false);
        }
        const qsizetype start = m_pos;
        if (c == '-' || c == '+')
            ++m_pos;
        while (m_pos < m_text.size() && m_text[m_pos] >= '0' && m_text[m_pos] <= '9')
            ++m_pos;
        bool ok = false;
        const qint64 number = slice(start, m_pos - start).toByteArray().toLongLong(&ok);
        // The mail client keeps whole numbers in 32 bits.
        if (!ok || number < INT32_MIN || number > INT32_MAX)
            fail(QStringLiteral("expected a text, a number, true or false"));
        return PrefValue::integer(number);
    }

    void skipSpaceAndComments()
    {
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos];
            if (isSpace(c)) {
                ++m_pos;
            } else if (c == '#' || (c == '/' && m_pos + 1 < m_text.size() && m_text[m_pos + 1] == '/')) {
                const qsizetype end = m_text.indexOf('\n', m_pos);
                m_pos = end < 0 ? m_text.size() : end + 1;
            } else if (c == '/' && m_pos + 1 < m_text.size() && m_text[m_pos + 1] == '*') {
                const qsizetype end = m_text.indexOf("*/", m_pos + 2);
                if (end < 0)
                    failAt(m_pos, QStringLiteral("a comment does not end"));
                m_pos = end + 2;
            } else {
                return;
            }
        }
    }

    [[noreturn]] void fail(const QString &what) const { failAt(m_pos, what); }

    [[noreturn]] void failAt(qsizetype at, const QString &what) const
    {
        const qsizetype line = QByteArrayView(m_text.constData(), at).count('\n') + 1;
        throw PrefsError(QStringLiteral("line %1: %2").arg(line).arg(what));
    }

private:
    QByteArrayView slice(qsizetype from, qsizetype length) const
    {
        from = qMin(from, m_text.size());
        return QByteArrayView(m_text.constData() + from, qMin(length, m_text.size() - from));
    }

    uint hex(int digits)
    {
        uint value = 0;
        for (int i = 0; i < digits; ++i) {
            const int digit = m_pos < m_text.size() ? hexDigit(m_text[m_pos]) : -1;
            if (digit < 0)
                fail(QStringLiteral("a bad \\x or \\u escape"));
            value = value * 16 + uint(digit);
            ++m_pos;
        }
        return value;
    }

    const QByteArray &m_text;
    qsizetype m_pos = 0;
};

QByteArray escaped(const QString &text)
{
    QString out;
    out.reserve(text.size() + 2);
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\\' || u == u'"') {
            out += QLatin1Char('\\');
            out += c;
        } else if (u == u'\n') {
            out += QLatin1String("\\n");
        } else if (u == u'\r') {
            out += QLatin1String("\\r");
        } else if (u < 0x20) {
            out += QStringLiteral("\\u%1").arg(uint(u), 4, 16, QLatin1Char('0'));
        } else {
            out += c;
        }
    }
    return '"' + out.toUtf8() + '"';
}

} // namespace

PrefValue PrefValue::string(const QString &text)
{
    PrefValue v;
    v.type = Type::String;
    v.text = text;
    return v;
}

PrefValue PrefValue::integer(qint64 number)
{
    PrefValue v;
    v.type = Type::Integer;
    v.number = number;
    return v;
}

PrefValue PrefValue::boolean(bool flag)
{
    PrefValue v;
    v.type = Type::Boolean;
    v.flag = flag;
    return v;
}

QByteArray PrefValue::literal() const
{
    switch (type) {
    case Type::String:
        return escaped(text);
    case Type::Integer:
        return QByteArray::number(number);
    case Type::Boolean:
        return flag ? "true" : "false";
    }
    return {};
}

bool PrefValue::operator==(const PrefValue &other) const
{
    if (type != other.type)
        return false;
    switch (type) {
    case Type::String:
        return text == other.text;
    case Type::Integer:
        return number == other.number;
    case Type::Boolean:
        return flag == other.flag;
    }
    return false;
}

PrefsError::PrefsError(const QString &reason)
    : std::runtime_error(reason.toStdString())
{
}

QString PrefsError::reason() const
{
    return QString::fromStdString(what());
}

PrefsFile PrefsFile::parse(const QByteArray &bytes)
{
    PrefsFile file;
    file.m_bytes = bytes;
    file.reparse();
    return file;
}

void PrefsFile::reparse()
{
    m_statements.clear();
    m_last.clear();
    Reader reader(m_bytes);
    while (!reader.atEnd()) {
        Statement s;
        s.start = reader.pos();
        reader.expectWord("user_pref");
        reader.expect('(');
        s.name = reader.string().toUtf8();
        reader.expect(',');
        reader.skipSpaceAndComments();
        s.valueStart = reader.pos();
        s.value = reader.value();
        s.valueEnd = reader.pos();
        reader.expect(')');
        reader.expect(';');
        s.end = reader.pos();
        m_last.insert(s.name, m_statements.size());
        m_statements.append(std::move(s));
    }
}

const PrefsFile::Statement *PrefsFile::last(const QByteArray &name) const
{
    const auto it = m_last.constFind(name);
    return it == m_last.constEnd() ? nullptr : &m_statements[*it];
}

std::optional<PrefValue> PrefsFile::value(const QByteArray &name) const
{
    const Statement *s = last(name);
    return s ? std::optional<PrefValue>(s->value) : std::nullopt;
}

QList<QByteArray> PrefsFile::names() const
{
    QList<QByteArray> out;
    for (const Statement &s : m_statements) {
        if (last(s.name) == &s)
            out.append(s.name);
    }
    return out;
}

void PrefsFile::set(const QByteArray &name, const PrefValue &value)
{
    if (const Statement *s = last(name)) {
        if (s->value == value)
            return;
        m_bytes.replace(s->valueStart, s->valueEnd - s->valueStart, value.literal());
    } else {
        const QByteArray lineEnd = m_bytes.contains("\r\n") ? "\r\n" : "\n";
        if (!m_bytes.isEmpty() && !m_bytes.endsWith('\n'))
            m_bytes += lineEnd;
        m_bytes += "user_pref(" + PrefValue::string(QString::fromUtf8(name)).literal() + ", " + value.literal() + ");"
            + lineEnd;
    }
    reparse();
}

bool PrefsFile::remove(const QByteArray &name)
{
    bool removed = false;
    for (qsizetype i = m_statements.size() - 1; i >= 0; --i) {
        const Statement &s = m_statements[i];
        if (s.name != name)
            continue;
        qsizetype from = s.start;
        qsizetype to = s.end;
        // The whole line when the statement is all it holds.
        qsizetype lineStart = from;
        while (lineStart > 0 && (m_bytes[lineStart - 1] == ' ' || m_bytes[lineStart - 1] == '\t'))
            --lineStart;
        qsizetype lineEnd = to;
        while (lineEnd < m_bytes.size()
            && (m_bytes[lineEnd] == ' ' || m_bytes[lineEnd] == '\t' || m_bytes[lineEnd] == '\r'))
            ++lineEnd;
        if ((lineStart == 0 || m_bytes[lineStart - 1] == '\n')
            && (lineEnd == m_bytes.size() || m_bytes[lineEnd] == '\n')) {
            from = lineStart;
            to = lineEnd < m_bytes.size() ? lineEnd + 1 : lineEnd;
        }
        m_bytes.remove(from, to - from);
        removed = true;
    }
    if (removed)
        reparse();
    return removed;
}

} // namespace jw::thunderbird
