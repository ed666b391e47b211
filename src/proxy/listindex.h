#pragma once

#include "proxy/linearpattern.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <vector>

namespace jw {

// A list of sender addresses and domains. An entry matches the whole
// address, or, as a domain ("example.com" or "@example.com"), that domain
// and its sub-domains; without regard to case. Looked up by hashing rather
// than entry by entry, so a list of a million entries costs no more per
// message than a short one.
class AddressList
{
public:
    void setEntries(const QStringList &entries);
    // The entry that matches the address (as the list writes it), or an
    // empty text; the whole address before its domains, nearest domain
    // first.
    QString find(const QString &address) const;

private:
    QHash<QString, QString> m_addresses; // case-folded -> as written
    QHash<QString, QString> m_domains;
};

// The banned words: entries matched as whole words (no letter, digit or
// underscore on either side), without regard to case. Single words are
// looked up word by word in a hash; phrases and entries with other signs
// go through regular expressions of a bounded size each.
class BannedWords
{
public:
    void setEntries(const QStringList &entries);
    bool isEmpty() const { return m_words.isEmpty() && m_others.empty(); }
    // The first match in the text, as the text writes it; empty when none.
    QString firstIn(const QString &text) const;

private:
    QSet<QString> m_words; // case-folded
    std::vector<LinearPattern> m_others;
};

} // namespace jw
