#include "proxy/dnscache.h"

#include <QDnsLookup>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>

namespace jw {

namespace {

constexpr qint64 kKeepAnswerMs = 3600 * 1000;
constexpr qint64 kKeepFailureMs = 300 * 1000;
constexpr qint64 kNoWaitMs = 60 * 1000;
constexpr qsizetype kMaxEntries = 20000;

} // namespace

size_t qHash(const DnsQuestion &question, size_t seed)
{
    return ::qHash(question.name, seed) ^ size_t(question.type);
}

DnsCache::DnsCache(QHostAddress server, int waitMs, QObject *parent)
    : QObject(parent)
    , m_server(std::move(server))
    , m_waitMs(waitMs)
{
}

DnsCache::~DnsCache()
{
    for (QDnsLookup *lookup : std::as_const(m_running)) {
        lookup->disconnect(this);
        lookup->abort();
        delete lookup;
    }
}

bool DnsCache::known(const DnsQuestion &question) const
{
    const auto entry = m_entries.constFind(question);
    return entry != m_entries.cend() && !entry->expires.hasExpired();
}

std::optional<QStringList> DnsCache::answer(const DnsQuestion &question) const
{
    // Read by the judging thread while this one adds answers.
    const QMutexLocker lock(&m_entriesLock);
    const auto entry = m_entries.constFind(question);
    if (entry == m_entries.cend() || entry->expires.hasExpired())
        return std::nullopt;
    return entry->records;
}

void DnsCache::start(const DnsQuestion &question)
{
    if (m_running.contains(question) || question.name.isEmpty())
        return;
    auto *lookup =
        new QDnsLookup(question.type == DnsQuestion::Type::MX ? QDnsLookup::MX : QDnsLookup::A, question.name, this);
    if (!m_server.isNull())
        lookup->setNameserver(m_server);
    connect(lookup, &QDnsLookup::finished, this, [this, lookup, question] { finished(lookup, question); });
    m_running.insert(question, lookup);
    lookup->lookup();
}

void DnsCache::finished(QDnsLookup *lookup, const DnsQuestion &question)
{
    m_running.remove(question);
    lookup->deleteLater();
    Entry entry;
    if (lookup->error() == QDnsLookup::NoError) {
        QStringList records;
        for (const QDnsHostAddressRecord &record : lookup->hostAddressRecords())
            records.append(record.value().toString());
        for (const QDnsMailExchangeRecord &record : lookup->mailExchangeRecords())
            records.append(record.exchange());
        entry.records = records;
    } else if (lookup->error() == QDnsLookup::NotFoundError) {
        entry.records = QStringList();
    }
    entry.expires = QDeadlineTimer(entry.records ? kKeepAnswerMs : kKeepFailureMs);
    QMutexLocker lock(&m_entriesLock);
    if (m_entries.size() >= kMaxEntries) {
        m_entries.removeIf([](const auto &item) { return item.value().expires.hasExpired(); });
        if (m_entries.size() >= kMaxEntries)
            m_entries.clear();
    }
    m_entries.insert(question, entry);
    lock.unlock();
    if (entry.records) {
        m_noWaitUntil = QDeadlineTimer();
        for (const std::shared_ptr<Waiter> &waiter : std::as_const(m_waiters)) {
            if (waiter->questions.contains(question))
                waiter->heardFromServer = true;
        }
    }
    settle(false);
}

void DnsCache::settle(bool timedOut, const std::shared_ptr<Waiter> &only)
{
    QList<std::shared_ptr<Waiter>> ready;
    for (qsizetype i = 0; i < m_waiters.size();) {
        const std::shared_ptr<Waiter> &waiter = m_waiters.at(i);
        const bool all = std::all_of(waiter->questions.cbegin(), waiter->questions.cend(),
            [this](const DnsQuestion &question) { return known(question); });
        if (all || (timedOut && waiter == only)) {
            // Nothing but silence or failures: the server is not there.
            if (!waiter->heardFromServer)
                m_noWaitUntil = QDeadlineTimer(kNoWaitMs);
            ready.append(waiter);
            m_waiters.removeAt(i);
        } else {
            ++i;
        }
    }
    for (const std::shared_ptr<Waiter> &waiter : std::as_const(ready)) {
        if (waiter->context)
            waiter->done();
    }
}

void DnsCache::prepare(const QList<DnsQuestion> &questions, QObject *context, std::function<void()> done)
{
    auto waiter = std::make_shared<Waiter>();
    for (const DnsQuestion &question : questions) {
        if (!known(question)) {
            waiter->questions.append(question);
            start(question);
        }
    }
    if (waiter->questions.isEmpty() || (!m_noWaitUntil.isForever() && !m_noWaitUntil.hasExpired())) {
        done();
        return;
    }
    waiter->context = context;
    waiter->done = std::move(done);
    m_waiters.append(waiter);
    QTimer::singleShot(m_waitMs, this, [this, weak = std::weak_ptr<Waiter>(waiter)] {
        if (const std::shared_ptr<Waiter> timedOut = weak.lock())
            settle(true, timedOut);
    });
}

void DnsCache::wait(const QList<DnsQuestion> &questions)
{
    QEventLoop loop;
    bool over = false;
    prepare(questions, &loop, [&over, &loop] {
        over = true;
        loop.quit();
    });
    if (!over)
        loop.exec();
}

} // namespace jw
