#include "mainwindow/accountsignin.h"

#include "platform/shell.h"

namespace jw {

AccountSignIn::AccountSignIn(const OAuthEndpoints &endpoints, const QString &user, const QString &server, Shell &shell,
    const QString &stateFolder, std::function<void(const QString &, const QString &)> done, QObject *parent)
    : QObject(parent)
    , m_flow(new OAuthSignIn(endpoints, user, [&shell](const QUrl &url) { return shell.open(url); }, this))
    , m_store(createTokenStore(stateFolder))
    , m_account(tokenAccount(user, server))
    , m_done(std::move(done))
{
    connect(m_flow, &OAuthSignIn::finished, this, [this](const TokenGrant &grant, const QString &error) {
        if (!error.isEmpty() || grant.refreshToken.isEmpty()) {
            m_done(error.isEmpty() ? QStringLiteral("the sign-in server gave no lasting sign-in (refresh token)") : error,
                QString());
            return;
        }
        m_store->save(m_account, grant.refreshToken,
            [this](const QString &problem) { m_done(problem, m_store->fallbackNote()); });
    });
}

AccountSignIn::~AccountSignIn() = default;

void AccountSignIn::start()
{
    m_flow->start();
}

} // namespace jw
