// The messages of a session: the server's listing, reading each message not
// judged before, judging it beside the sessions' thread, holding spam and
// remembering every verdict at once.
#include "accounts/accounts.h"
#include "formats/proxystate.h"
#include "formats/quarantinestore.h"
#include "formats/statusfile.h"
#include "proxy/autoreply.h"
#include "proxy/clientsession.h"
#include "proxy/dnscache.h"
#include "proxy/judgement.h"
#include "proxy/mailfacts.h"
#include "proxy/messagebuffer.h"
#include "proxy/problemlog.h"
#include "proxy/proxycontext.h"
#include "proxy/upstream.h"
#include "textfile/codec.h"
#include "textfile/errors.h"
#include "textfile/lines.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QThreadPool>

#include <algorithm>
#include <sys/stat.h>
#include <utility>

namespace jw {

void ClientSession::readListing()
{
    // What the user deleted from the quarantine is learned as spam before
    // this session's first verdict, so every verdict of the session, in
    // whatever order, stands on the same lessons.
    Judgement &judgement = m_context.judgement;
    apart([&judgement, messages = m_context.messagesFolder, state = m_context.stateFolder] {
        judgement.learnDeletedSpam(messages, state, false);
    });
    // A message keeps the lines, and the size, the client saw before.
    m_passedBefore = JudgedState(m_context.stateFolder, m_accountFolder).read();
    auto uidlLines = std::make_shared<QList<QByteArray>>();
    m_upstream->command("UIDL", true, [uidlLines](const Pop3Upstream::Reply &reply) {
        if (reply.ok) // without UIDL every message is judged at every session
            *uidlLines = reply.lines;
    });
    m_upstream->command("LIST", true, [this, uidlLines](const Pop3Upstream::Reply &reply) {
        if (!reply.ok) {
            send(reply.status);
            close();
            return;
        }
        // Reading the messages may take long; each answer may take its time.
        m_upstream->setReplyTimeout(Pop3Upstream::kReplyTimeoutMs);
        takeListing(*uidlLines, reply.lines);
        judgeNext();
    });
}

void ClientSession::takeListing(const QList<QByteArray> &uidlLines, const QList<QByteArray> &listLines)
{
    // "number rest": the UIDL is the whole rest of its line.
    const auto split = [](const QByteArray &line, QByteArray *rest) {
        const QByteArray plain = pop3::chopLineEnd(line).trimmed();
        const qsizetype blank = plain.indexOf(' ');
        *rest = blank < 0 ? QByteArray() : plain.mid(blank + 1).trimmed();
        bool ok = false;
        const int number = plain.left(blank).toInt(&ok);
        return ok && number > 0 ? number : 0;
    };
    QByteArray rest;
    for (const QByteArray &line : uidlLines) {
        const int number = split(line, &rest);
        if (number > 0 && !rest.isEmpty())
            m_serverUidls.insert(number, rest);
    }
    QList<int> numbers;
    for (const QByteArray &line : listLines) {
        const int number = split(line, &rest);
        bool ok = false;
        const qint64 size = rest.toLongLong(&ok);
        if (number > 0 && ok && size >= 0 && !m_serverSizes.contains(number)) {
            m_serverSizes.insert(number, size);
            numbers.append(number);
        }
    }
    std::sort(numbers.begin(), numbers.end());
    for (const int number : std::as_const(numbers)) {
        const QByteArray uidl = m_serverUidls.value(number);
        if (!uidl.isEmpty() && m_passedBefore.contains(uidl)) {
            Message seen;
            seen.serverNumber = number;
            seen.uidl = uidl;
            seen.size = m_serverSizes.value(number);
            seen.addedLines = m_passedBefore.value(uidl);
            m_messages.append(seen);
        } else {
            m_toJudge.append(number);
        }
    }
}

void ClientSession::judgeNext()
{
    if (m_toJudge.isEmpty()) {
        addReleasedMessages();
        return;
    }
    progress(QStringLiteral("Reading message 1 of %1 from %2").arg(m_toJudge.size()).arg(m_server));
    // All asked for at once: a server that pipelines sends them back to
    // back; answers come in order.
    m_fetched = QList<Fetched>(m_toJudge.size());
    m_nextToJudge = 0;
    for (int i = 0; i < m_toJudge.size(); ++i) {
        fetch(m_toJudge.at(i), [this, i](const std::shared_ptr<MessageBuffer> &source) {
            ++m_judgedCount;
            progress(QStringLiteral("Reading message %1 of %2 from %3")
                         .arg(m_judgedCount)
                         .arg(m_toJudge.size())
                         .arg(m_server));
            Fetched &fetched = m_fetched[i];
            fetched.source = source;
            // One that cannot be read now is not shown and stays on the
            // server for the next session: nothing is lost.
            if (!source) {
                fetched.ready = true;
                judgeInOrder();
                return;
            }
            // Held in an earlier session that was broken off: the same bytes
            // are in the quarantine already, and are not judged again.
            const QuarantineStore store(m_context.messagesFolder, m_context.configFolder, QString(), QString());
            fetched.heldBefore =
                store.heldCopy(m_accountFolder, m_serverUidls.value(m_toJudge.at(i)), source->digest());
            if (fetched.heldBefore) {
                fetched.ready = true;
                judgeInOrder();
                return;
            }
            // Decoded on any core, then asked what the DNS must answer on
            // the judgement's thread.
            auto facts = std::make_shared<MailFacts>();
            fetched.facts = facts;
            Judgement &judgement = m_context.judgement;
            QThreadPool &readers = m_context.readers;
            m_context.decoders.start(
                [self = QPointer<ClientSession>(this), i, facts, &judgement, &readers, head = source->head()] {
                    *facts = readMailFacts(head);
                    readers.start([self, i, facts, &judgement] {
                        const QList<DnsQuestion> questions = judgement.dnsQuestions(*facts);
                        QMetaObject::invokeMethod(
                            QCoreApplication::instance(),
                            [self, i, questions] {
                                if (self)
                                    self->askDns(i, questions);
                            },
                            Qt::QueuedConnection);
                    });
                });
        });
    }
}

void ClientSession::apart(std::function<void()> work)
{
    m_context.readers.start(std::move(work));
}

void ClientSession::askDns(int index, const QList<DnsQuestion> &questions)
{
    if (m_state == State::Closing || index >= m_fetched.size() || !m_fetched.at(index).facts)
        return;
    m_context.dns.prepare(questions, this, [this, index] { judgeApart(index); });
}

void ClientSession::judgeApart(int index)
{
    if (m_state == State::Closing || index >= m_fetched.size() || !m_fetched.at(index).facts)
        return;
    Addressee addressee;
    addressee.account = m_accountFolder;
    // The account's own address, and the user name when it is one.
    for (const QString &address : {m_account.address, m_realUser}) {
        if (address.contains(QLatin1Char('@')) && !addressee.addresses.contains(address.toLower()))
            addressee.addresses.append(address.toLower());
    }
    auto verdict = std::make_shared<Verdict>();
    m_fetched[index].verdict = verdict;
    Judgement &judgement = m_context.judgement;
    apart([self = QPointer<ClientSession>(this), index, facts = m_fetched.at(index).facts, verdict, addressee,
              &judgement] {
        *verdict = judgement.judge(*facts, addressee);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, index] {
                if (!self || self->m_state == State::Closing || index >= self->m_fetched.size())
                    return;
                self->m_fetched[index].ready = true;
                self->judgeInOrder();
            },
            Qt::QueuedConnection);
    });
}

void ClientSession::judgeInOrder()
{
    if (m_state == State::Closing)
        return;
    while (m_nextToJudge < m_fetched.size() && m_fetched.at(m_nextToJudge).ready) {
        const Fetched fetched = std::exchange(m_fetched[m_nextToJudge], Fetched{{}, {}, {}, {}, true});
        const int number = m_toJudge.at(m_nextToJudge);
        ++m_nextToJudge;
        if (fetched.heldBefore) {
            m_removeAtQuit.append(number);
            m_heldAny = true;
        } else if (fetched.source && fetched.verdict) {
            judged(number, m_serverUidls.value(number), fetched.source, *fetched.facts, *fetched.verdict);
        }
    }
    if (m_nextToJudge == m_fetched.size() && !m_fetched.isEmpty()) {
        m_fetched.clear();
        addReleasedMessages();
    }
}

void ClientSession::fetch(int serverNumber, std::function<void(const std::shared_ptr<MessageBuffer> &)> done)
{
    auto buffer = std::make_shared<MessageBuffer>(m_context.stateFolder);
    auto failed = std::make_shared<bool>(false);
    m_upstream->streamCommand(
        "RETR " + QByteArray::number(serverNumber),
        [buffer, failed](const QByteArray &lines) {
            if (!*failed && !buffer->append(pop3::unstuffedLines(lines)))
                *failed = true;
        },
        [this, serverNumber, buffer, failed, done = std::move(done)](const Pop3Upstream::Reply &reply) {
            if (m_state == State::Closing)
                return;
            if (reply.ok && muchShorter(buffer->size(), m_serverSizes.value(serverNumber))) {
                upstreamBroken(
                    QStringLiteral("%1 sent message %2 with %3 of the %4 octets it listed; its answers are out "
                                   "of step, so nothing is changed on the server")
                        .arg(m_server)
                        .arg(serverNumber)
                        .arg(buffer->size())
                        .arg(m_serverSizes.value(serverNumber)));
                return;
            }
            done(reply.ok && !*failed ? buffer : nullptr);
        });
}

void ClientSession::judged(int serverNumber, const QByteArray &uidl, const std::shared_ptr<MessageBuffer> &buffer,
    const MailFacts &facts, const Verdict &verdict)
{
    Message message;
    message.serverNumber = serverNumber;
    message.uidl = uidl;
    message.size = buffer->size();
    const QString note = verdict.reason.isEmpty() ? QString() : QStringLiteral("; ") + verdict.reason;
    // A sure verdict is learned at QUIT, once the message has gone where it
    // was sent.
    const auto learnAtQuit = [&] {
        if (verdict.sure)
            m_ownLessons.append({facts.words, verdict.spam});
    };
    if (!verdict.spam) {
        learnAtQuit();
        message.addedLines = "X-Junkwarden: passed" + encodeDisplay(note) + "\r\n";
        m_messages.append(message);
        keep(m_messages.last(), buffer);
        rememberPassed(m_messages.last());
        return;
    }
    if (verdict.reply)
        m_context.replier.consider(facts, verdict, m_account, m_realUser, m_password);
    const QString what = m_context.whatWithSpam;
    if (what == QLatin1String("lowprio") || what == QLatin1String("nothing") || what == QLatin1String("drop"))
        learnAtQuit();
    if (what == QLatin1String("lowprio") || what == QLatin1String("nothing")) {
        message.addedLines = "X-Junkwarden: spam" + encodeDisplay(note) + "\r\n";
        if (what == QLatin1String("lowprio"))
            message.addedLines += "X-Priority: 5 (Lowest)\r\nImportance: low\r\n";
        m_messages.append(message);
        keep(m_messages.last(), buffer);
        rememberPassed(m_messages.last());
        return;
    }
    if (what == QLatin1String("drop")) {
        m_removeAtQuit.append(serverNumber);
        return;
    }
    // Quarantine (also for an unknown choice: holding loses nothing). It is
    // removed from the server only once its own bytes are safely stored.
    QuarantineStore store(m_context.messagesFolder, m_context.configFolder, QString(), QString());
    try {
        HeldMessage held;
        held.subject = facts.subject;
        held.sender = facts.from;
        held.spamNote = verdict.spamNote();
        held.content = facts.content;
        store.storeHeld(m_accountFolder, uidl, buffer->digest(), held,
            [&buffer](const ContentWriter &write) { return buffer->writeTo(write); });
        m_removeAtQuit.append(serverNumber);
        m_heldAny = true;
        m_context.status.quarantine();
        learnAtQuit();
    } catch (const Error &e) {
        // Could not be stored (full disk): it stays on the server, unseen by
        // the client, and is judged again at the next session.
        ProblemLog(m_context.stateFolder)
            .note(QStringLiteral("a held message stays on %1: %2").arg(m_server, e.message()));
    }
}

void ClientSession::rememberPassed(const Message &message)
{
    // At once, not at the end: a session broken off goes on next time where
    // this one stopped, without judging again.
    if (!message.uidl.isEmpty())
        JudgedState(m_context.stateFolder, m_accountFolder).add(message.uidl, message.addedLines);
}

bool ClientSession::forgetLearnedSpam(const MailFacts &facts)
{
    try {
        return LearnedSpam(m_context.stateFolder).forget(LearnedSpam::keyOf(facts.words));
    } catch (const Error &e) {
        ProblemLog(m_context.stateFolder).note(e.message());
        return false;
    }
}

void ClientSession::addReleasedMessages()
{
    QuarantineStore store(m_context.messagesFolder, m_context.configFolder, QString(), QString());
    QList<NativePath> copies = store.resendCopiesOf(m_accountFolder);
    if (m_legacyFolder != m_accountFolder)
        copies += store.resendCopiesOf(m_legacyFolder);
    for (const NativePath &copy : std::as_const(copies)) {
        QByteArray source;
        try {
            source = QuarantineStore::sourceOfFile(copy);
        } catch (const Error &e) {
            ProblemLog(m_context.stateFolder)
                .note(QStringLiteral("a released message is not delivered: ") + e.message());
            continue;
        }
        Message released;
        // A copy written by a later release of the same message is a new
        // message to the client: its time is part of its UIDL.
        struct stat written = {};
        ::stat(copy.constData(), &written);
        released.uidl = "jw-released-"
            + hexHash(copy + ':' + QByteArray::number(qint64(written.st_mtim.tv_sec)) + '.'
                + QByteArray::number(qint64(written.st_mtim.tv_nsec)) + ':'
                + QByteArray::number(quint64(written.st_ino)))
                  .left(32);
        released.releasedCopy = copy;
        released.cached = std::make_shared<MessageBuffer>(m_context.stateFolder);
        if (!released.cached->append(source))
            continue;
        released.size = released.cached->size();
        m_cachedBytes += std::min<qint64>(released.size, MessageBuffer::kInMemory);
        released.addedLines = "X-Junkwarden: released from quarantine\r\n";
        m_messages.append(released);
    }
    enterTransaction();
}

} // namespace jw
