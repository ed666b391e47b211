#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

namespace jw {

// What the proxy remembers of an account's messages between sessions, in
// its state folder: the messages it judged and passed, and the lines it
// added to each, so that a later session relays them unjudged, with the
// same lines and so the same size. One file per account, a line per
// message: the UIDL, a tab and the added lines in Base64 (a bare UIDL, as
// earlier versions wrote, stands for "X-Junkwarden: passed").
class JudgedState
{
public:
    JudgedState(const QString &stateFolder, const QString &accountFolder);

    // UIDL -> the lines added; empty when nothing is remembered.
    QHash<QByteArray, QByteArray> read() const;
    // Notes one message at once (appended; a failure is not reported).
    void add(const QByteArray &uidl, const QByteArray &addedLines) const;
    // Replaces the whole file with these messages. Throws FileError.
    void replace(const QList<std::pair<QByteArray, QByteArray>> &messages) const;

private:
    QString m_path;
};

// The held messages the filter learned as spam by itself (a verdict far
// from the threshold; earlier versions learned every message they held), by
// a key of their words, newest last and at most kRemembered of them, so
// that releasing one takes that lesson back and deleting one does not teach
// it twice.
class LearnedSpam
{
public:
    static constexpr int kRemembered = 5000;
    explicit LearnedSpam(const QString &stateFolder);
    // Notes the keys. Throws FileError when the file cannot be written.
    void note(const QList<QByteArray> &keys) const;
    // The key of a message's words.
    static QByteArray keyOf(const QList<QByteArray> &words);
    // Forgets the key; true when it was noted. Throws FileError when the
    // file cannot be written.
    bool forget(const QByteArray &key) const;
    // Whether the key is noted; nothing is written.
    bool knows(const QByteArray &key) const;

private:
    QString m_path;
};

// The accounts whose OAuth 2.0 sign-in the provider no longer honours
// ("user,server", a line each): the proxy keeps the list, the tray shows it.
class SignInNeeded
{
public:
    static constexpr char kFileName[] = "signin-needed";
    explicit SignInNeeded(const QString &stateFolder);
    QString path() const { return m_path; }
    QStringList read() const;
    // Adds the account to the list, or takes it off. Throws FileError.
    void mark(const QString &account, bool needed) const;

private:
    QString m_path;
};

} // namespace jw
