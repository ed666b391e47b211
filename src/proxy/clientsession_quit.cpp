// The end of a session with QUIT: deletions on the server, then what the
// proxy remembers (what passed, released mail delivered and learned, its
// senders trusted, the session's sure verdicts learned).
#include "formats/filterlistfiles.h"
#include "formats/proxystate.h"
#include "formats/quarantinestore.h"
#include "proxy/clientsession.h"
#include "proxy/judgement.h"
#include "proxy/mailfacts.h"
#include "proxy/problemlog.h"
#include "proxy/proxycontext.h"
#include "proxy/upstream.h"
#include "textfile/codec.h"
#include "textfile/errors.h"
#include "textfile/lines.h"

#include <QCoreApplication>
#include <QDir>
#include <QTcpSocket>

#include <utility>

namespace jw {

void ClientSession::quit()
{
    m_busy = true;
    QList<int> remove = m_removeAtQuit;
    for (const Message &message : std::as_const(m_messages)) {
        if (message.deleted && message.serverNumber > 0)
            remove.append(message.serverNumber);
    }
    for (int number : std::as_const(remove))
        m_upstream->command("DELE " + QByteArray::number(number), false, [](const Pop3Upstream::Reply &) {});
    m_upstream->command(
        "QUIT", false, [this](const Pop3Upstream::Reply &reply) { finishQuit(reply.ok, reply.status); });
}

void ClientSession::finishQuit(bool serverOk, const QByteArray &serverStatus)
{
    // The server is done with and closes its end: that is no failure now.
    disconnect(m_upstream, &Pop3Upstream::broken, this, &ClientSession::upstreamBroken);
    const ProblemLog problems(m_context.stateFolder);
    // Remember what passed, so the next session does not fetch it again.
    QList<std::pair<QByteArray, QByteArray>> judged;
    for (const Message &message : std::as_const(m_messages)) {
        if (message.serverNumber > 0 && !message.deleted && !message.uidl.isEmpty())
            judged.append({message.uidl, message.addedLines});
    }
    try {
        JudgedState(m_context.stateFolder, m_accountFolder).replace(judged);
    } catch (const Error &e) {
        problems.note(e.message());
    }
    // Released mail that the client has now: the copies and their lines go,
    // the senders are trusted from now on, and the messages are learned as
    // good mail.
    QuarantineStore store(m_context.messagesFolder, m_context.configFolder, QString(), QString());
    QStringList senders;
    Judgement &judgement = m_context.judgement;
    for (const NativePath &copy : std::as_const(m_deliveredCopies)) {
        if (QuarantineStore::statusOfFile(copy) == "Delivered")
            continue; // released again: learned and trusted the first time
        try {
            const MailFacts facts = readMailFacts(QuarantineStore::sourceOfFile(copy));
            const Judgement::Lesson lesson =
                forgetLearnedSpam(facts) ? Judgement::Lesson::SpamWasGood : Judgement::Lesson::Good;
            apart([&judgement, facts, lesson] { judgement.learn(facts, lesson); });
            if (!facts.fromAddress.isEmpty())
                senders.append(facts.fromAddress);
        } catch (const Error &e) {
            problems.note(QStringLiteral("a delivered message is not learned: ") + e.message());
        }
    }
    if (serverOk && !m_ownLessons.isEmpty()) {
        apart([&judgement, lessons = std::exchange(m_ownLessons, {}), state = m_context.stateFolder] {
            judgement.learnOwnVerdicts(lessons, state);
        });
    }
    try {
        store.finishResends(m_deliveredCopies);
    } catch (const Error &e) {
        problems.note(QStringLiteral("delivered copies stay: ") + e.message());
    }
    // Into the automatic white list, and into the white list too, where the
    // user sees them (drawn as automatic) and can remove them; never again
    // into a list the user removed them from.
    for (const char *list : {kAutoWhiteListFile, filterLists()[kWhiteList].fileName}) {
        const QString path = m_context.configFolder + QLatin1String(list);
        QStringList added;
        for (const QString &sender : std::as_const(senders)) {
            if (!inDeletionLog(m_context.configFolder, list, sender))
                added.append(sender);
        }
        try {
            if (!added.isEmpty() && readListFile(path).state == ListFile::State::Missing)
                appendToListFile(path, {});
            if (!added.isEmpty())
                addMissingToListFile(path, added);
        } catch (const Error &e) {
            problems.note(QStringLiteral("senders not added to %1: ").arg(QLatin1String(list)) + e.message());
        }
    }
    // The answer waits for what was handed to the judging thread before it:
    // once the client has it, the next session (and `vexel3 --check`) stands
    // on every lesson of this one.
    const QByteArray bye =
        serverOk ? QByteArray("+OK bye") : "-ERR [SYS/TEMP] the server could not finish: " + serverStatus;
    apart([self = QPointer<ClientSession>(this), bye] {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, bye] {
                if (!self || !self->m_client)
                    return;
                self->send(bye);
                self->m_client->flush();
                self->close();
            },
            Qt::QueuedConnection);
    });
}

} // namespace jw
