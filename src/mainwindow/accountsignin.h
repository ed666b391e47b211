#pragma once

#include "oauth/oauthflow.h"
#include "oauth/tokenstore.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace jw {

class Shell;

// One account's OAuth 2.0 sign-in from the settings page: the flow in the
// user's browser, then the refresh token kept in the token store, where the
// proxy takes it from. `done` gets an empty text when signed in, else why
// not (never a token).
class AccountSignIn : public QObject
{
    Q_OBJECT
public:
    AccountSignIn(const OAuthEndpoints &endpoints, const QString &user, const QString &server, Shell &shell,
        const QString &stateFolder, std::function<void(const QString &problem, const QString &note)> done,
        QObject *parent = nullptr);
    ~AccountSignIn() override;

    void start();

private:
    OAuthSignIn *m_flow = nullptr;
    std::unique_ptr<TokenStore> m_store;
    QString m_account;
    std::function<void(const QString &, const QString &)> m_done;
};

} // namespace jw
