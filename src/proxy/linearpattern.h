#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>
#include <memory>

namespace re2 {
class RE2;
}

namespace jw {

// A pattern whose matching time grows linearly with the text, whatever the
// text (RE2: no backtracking, hence no back-references or look-arounds).
// Every pattern that meets mail content is one of these: a crafted message
// cannot make it take minutes. Texts are UTF-8; QString overloads convert.
class LinearPattern
{
public:
    enum Option { None = 0, IgnoreCase = 1, DotAll = 2 };
    // An invalid pattern matches nothing (and is a programming error).
    explicit LinearPattern(const QString &pattern, int options = IgnoreCase | DotAll, qint64 maxMemory = 8 << 20);
    LinearPattern(const char *pattern, int options = IgnoreCase | DotAll);
    ~LinearPattern();
    LinearPattern(LinearPattern &&) noexcept;
    LinearPattern &operator=(LinearPattern &&) noexcept;

    bool isValid() const;
    bool in(QByteArrayView utf8) const;
    bool in(const QByteArray &utf8) const { return in(QByteArrayView(utf8)); }
    bool in(const QString &text) const { return in(QByteArrayView(text.toUtf8())); }
    // The first match and its groups (empty text for a group not taken
    // part); an empty list when there is none. `at`: its byte offset.
    QStringList find(QByteArrayView utf8, qsizetype *at = nullptr) const;
    QStringList find(const QByteArray &utf8, qsizetype *at = nullptr) const { return find(QByteArrayView(utf8), at); }
    QStringList find(const QString &text) const { return find(QByteArrayView(text.toUtf8())); }
    // Each match in turn, at most `max`, while `visit` answers true.
    void each(QByteArrayView utf8, int max, const std::function<bool(const QStringList &)> &visit) const;
    // How many matches, counting no further than `enough`.
    int count(QByteArrayView utf8, int enough) const;
    // Every match replaced by `with`.
    QByteArray replaced(QByteArrayView utf8, QByteArrayView with) const;

private:
    std::unique_ptr<re2::RE2> m_re;
};

} // namespace jw
