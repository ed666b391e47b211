#include "proxy/tokenbroker.h"

#include "formats/proxystate.h"
#include "oauth/oauthflow.h"
#include "oauth/tokenstore.h"
#include "proxy/problemlog.h"
#include "textfile/errors.h"

#include <QNetworkAccessManager>
#include <QPointer>

namespace jw {

TokenBroker::TokenBroker(TokenStore &store, const QString &stateFolder, QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_stateFolder(stateFolder)
    , m_network(new QNetworkAccessManager(this))
{
    m_clock.start();
}

TokenBroker::~TokenBroker() = default;

void TokenBroker::accessToken(const QString &account, const OAuthEndpoints &endpoints, Done done)
{
    Entry &entry = m_entries[account];
    if (!entry.accessToken.isEmpty() && entry.expiresAtMs - m_clock.elapsed() > kRefreshAheadMs) {
        done({entry.accessToken, QString(), false});
        return;
    }
    entry.waiting.append(std::move(done));
    if (!entry.refreshing)
        refresh(account, endpoints);
}

void TokenBroker::forget(const QString &account)
{
    m_entries[account].accessToken.clear();
}

void TokenBroker::refresh(const QString &account, const OAuthEndpoints &endpoints)
{
    m_entries[account].refreshing = true;
    QPointer<TokenBroker> self(this);
    m_store.load(account, [self, account, endpoints](const std::optional<QByteArray> &stored) {
        if (!self)
            return;
        Entry &entry = self->m_entries[account];
        if (!stored || stored->isEmpty() || *stored == entry.refusedRefreshToken) {
            self->settle(account, {{}, QStringLiteral("sign-in needed"), true});
            return;
        }
        const QByteArray refreshToken = *stored;
        refreshAccess(*self->m_network, endpoints, refreshToken, self,
            [self, account, refreshToken](const TokenOutcome &outcome) {
                if (!self)
                    return;
                Entry &current = self->m_entries[account];
                if (!outcome.grant) {
                    if (outcome.invalidGrant) {
                        current.refusedRefreshToken = refreshToken;
                        self->settle(account, {{}, QStringLiteral("sign-in needed"), true});
                    } else {
                        self->settle(account, {{}, outcome.error, false});
                    }
                    return;
                }
                current.accessToken = outcome.grant->accessToken;
                current.expiresAtMs = self->m_clock.elapsed() + outcome.grant->expiresInSecs * 1000;
                current.refusedRefreshToken.clear();
                // A rotated refresh token replaces the old one at once: the
                // old one may already be void.
                if (!outcome.grant->refreshToken.isEmpty() && outcome.grant->refreshToken != refreshToken) {
                    self->m_store.save(account, outcome.grant->refreshToken, [self](const QString &problem) {
                        if (self && !problem.isEmpty())
                            ProblemLog(self->m_stateFolder)
                                .note(QStringLiteral("a renewed sign-in is not kept: ") + problem);
                    });
                }
                self->settle(account, {current.accessToken, QString(), false});
            });
    });
}

void TokenBroker::settle(const QString &account, const Result &result)
{
    Entry &entry = m_entries[account];
    entry.refreshing = false;
    markSignInNeeded(account, result.signInNeeded);
    const QList<Done> waiting = std::exchange(entry.waiting, {});
    for (const Done &done : waiting)
        done(result);
}

void TokenBroker::markSignInNeeded(const QString &account, bool needed)
{
    try {
        SignInNeeded(m_stateFolder).mark(account, needed);
    } catch (const Error &e) {
        ProblemLog(m_stateFolder).note(e.message());
    }
}

} // namespace jw
