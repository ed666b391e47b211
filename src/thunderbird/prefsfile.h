#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <optional>
#include <stdexcept>

namespace jw::thunderbird {

// A preference's value as prefs.js writes it: a string, a whole number or
// true/false.
struct PrefValue
{
    enum class Type { String, Integer, Boolean };
    Type type = Type::String;
    QString text; // String
    qint64 number = 0; // Integer
    bool flag = false; // Boolean

    static PrefValue string(const QString &text);
    static PrefValue integer(qint64 number);
    static PrefValue boolean(bool flag);
    // The value as prefs.js spells it: a quoted, escaped string, a number,
    // true or false.
    QByteArray literal() const;
    bool operator==(const PrefValue &other) const;
};

// prefs.js cannot be read as the mail client's preference file.
class PrefsError : public std::runtime_error
{
public:
    explicit PrefsError(const QString &reason);
    QString reason() const;
};

// A profile's prefs.js, kept as its bytes: reading and changing preferences
// touches only the statements concerned, so that every other byte (comments,
// the header, preferences of every kind, their order) stays as it was.
//
// The file is a list of `user_pref("name", value);` statements with
// comments (`//`, `#`, `/* */`) between them. Strings take the escapes
// \\ \" \' \n \r \t \xHH and \uHHHH; text is UTF-8. When a name occurs more
// than once, the last one counts, as when the mail client reads the file.
class PrefsFile
{
public:
    // Throws PrefsError when anything in the file is not such a statement
    // or a comment.
    static PrefsFile parse(const QByteArray &bytes);

    QByteArray bytes() const { return m_bytes; }

    std::optional<PrefValue> value(const QByteArray &name) const;
    // The names in file order, each once (where it last occurs).
    QList<QByteArray> names() const;

    // Replaces the value of the last statement of that name where it
    // stands, or appends a statement on a line of its own.
    void set(const QByteArray &name, const PrefValue &value);
    // Removes every statement of that name, with its line when the line
    // holds nothing else; returns whether there was one.
    bool remove(const QByteArray &name);

private:
    struct Statement
    {
        QByteArray name;
        PrefValue value;
        qsizetype start; // of "user_pref"
        qsizetype end; // after ";"
        qsizetype valueStart; // the value's literal
        qsizetype valueEnd;
    };
    void reparse();
    const Statement *last(const QByteArray &name) const;

    QByteArray m_bytes;
    QList<Statement> m_statements;
    QHash<QByteArray, qsizetype> m_last; // where each name last occurs
};

} // namespace jw::thunderbird
