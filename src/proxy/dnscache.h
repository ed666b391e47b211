#pragma once

#include <QDeadlineTimer>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class QDnsLookup;

namespace jw {

// A name and the kind of record wanted for it.
struct DnsQuestion
{
    enum class Type { A, MX };
    QString name;
    Type type = Type::A;

    bool operator==(const DnsQuestion &other) const { return name == other.name && type == other.type; }
};
size_t qHash(const DnsQuestion &question, size_t seed = 0);

// Answers known so far, as the judgement reads them.
class DnsAnswers
{
public:
    virtual ~DnsAnswers() = default;
    // The records found (addresses for A, mail servers for MX), an empty
    // list when the name has none or does not exist; nothing when it is not
    // known (not asked, not answered in time, or the server failed).
    virtual std::optional<QStringList> answer(const DnsQuestion &question) const = 0;
};

// Asks the DNS asynchronously through QDnsLookup and remembers every answer
// for an hour. A message waits at most `waitMs` for its answers in all;
// what comes later is kept for the next message. After a wait that got
// nothing at all from the server, messages do not wait for a minute (the
// lookups still run), so a server that never answers delays only the first.
class DnsCache final : public QObject, public DnsAnswers
{
public:
    // `server`: the name server to ask; a null address asks the system's.
    explicit DnsCache(QHostAddress server = {}, int waitMs = 2000, QObject *parent = nullptr);
    ~DnsCache() override;

    std::optional<QStringList> answer(const DnsQuestion &question) const override;

    // Starts the lookups not known yet and calls `done` once all of them
    // are known or the wait is over; never when `context` is gone first.
    // `done` may be called before this returns.
    void prepare(const QList<DnsQuestion> &questions, QObject *context, std::function<void()> done);
    // The same for callers without an event loop of their own: runs one
    // until then.
    void wait(const QList<DnsQuestion> &questions);

private:
    struct Entry
    {
        std::optional<QStringList> records; // none: the lookup failed
        QDeadlineTimer expires;
    };
    struct Waiter
    {
        QList<DnsQuestion> questions;
        QPointer<QObject> context;
        std::function<void()> done;
        bool heardFromServer = false;
    };

    bool known(const DnsQuestion &question) const;
    void start(const DnsQuestion &question);
    void finished(QDnsLookup *lookup, const DnsQuestion &question);
    void settle(bool timedOut, const std::shared_ptr<Waiter> &only = {});

    QHostAddress m_server;
    int m_waitMs;
    // Changed on this object's thread only; `answer` may be called from any.
    QHash<DnsQuestion, Entry> m_entries;
    mutable QMutex m_entriesLock;
    QHash<DnsQuestion, QDnsLookup *> m_running;
    QList<std::shared_ptr<Waiter>> m_waiters;
    QDeadlineTimer m_noWaitUntil;
};

} // namespace jw
