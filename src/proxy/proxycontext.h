#pragma once

#include <QSslConfiguration>
#include <QString>

class QThreadPool;

namespace jw {

class AutoReplier;
class DnsCache;
class Judgement;
class MailCheck;
class TokenBroker;
class Registry;
class StatusFile;

// What every session of the proxy shares.
struct ProxyContext
{
    QString programFolder; // each with a trailing "/"
    QString configFolder;
    QString messagesFolder;
    QString stateFolder; // the proxy's own memory: messages already judged
    Registry &accounts;
    Judgement &judgement;
    DnsCache &dns; // the answers the judgement reads
    AutoReplier &replier; // answers the senders of held mail
    QThreadPool &readers; // the judgement's one thread: judges and learns, in order
    QThreadPool &decoders; // decodes messages into their facts, on every core
    QSslConfiguration tls;
    QString whatWithSpam; // "quarantine", "drop", "lowprio" or "nothing"
    StatusFile &status;
    int activeSessions = 0;
    MailCheck *mailCheck = nullptr; // the check PostPing asks for
    TokenBroker *tokens = nullptr; // access tokens of the accounts that sign in with OAuth 2.0
};

} // namespace jw
