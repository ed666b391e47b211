#pragma once

#include "oauth/oauthprovider.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

class QNetworkAccessManager;
class QTcpServer;
class QTcpSocket;
class QTimer;

namespace jw {

// What a token endpoint grants. Tokens are secrets: they are never logged,
// written to a file other than the token store, nor put in an error text.
struct TokenGrant
{
    QByteArray accessToken;
    QByteArray refreshToken; // empty when the endpoint kept the old one
    qint64 expiresInSecs = 0;
};

struct TokenOutcome
{
    std::optional<TokenGrant> grant;
    QString error; // for people: the endpoint's error code, never a token
    bool invalidGrant = false; // the refresh token is no longer good: sign in again
};

// PKCE (RFC 7636) and the sign-in's state: random, URL-safe.
QByteArray randomUrlSafe(int bytes);
QByteArray pkceChallengeS256(const QByteArray &verifier);

// Asks the token endpoint for a grant: the authorisation code of a sign-in
// (with its PKCE verifier), or a refresh token.
void exchangeCode(QNetworkAccessManager &network, const OAuthEndpoints &endpoints, const QByteArray &code,
    const QString &redirectUri, const QByteArray &verifier, QObject *context,
    std::function<void(const TokenOutcome &)> done);
void refreshAccess(QNetworkAccessManager &network, const OAuthEndpoints &endpoints, const QByteArray &refreshToken,
    QObject *context, std::function<void(const TokenOutcome &)> done);

// One sign-in as RFC 8252 asks of a native application: the authorisation
// code flow with PKCE (S256) in the user's own browser, answered on a
// one-shot listener on 127.0.0.1 at a port the system picks, with a random
// state checked, within a time limit.
class OAuthSignIn : public QObject
{
    Q_OBJECT
public:
    static constexpr int kTimeLimitMs = 5 * 60 * 1000;
    static constexpr qsizetype kMostRequestBytes = 16 * 1024;
    // Hands the address to the browser; false when none could be opened.
    using Opener = std::function<bool(const QUrl &)>;

    OAuthSignIn(const OAuthEndpoints &endpoints, const QString &loginHint, Opener openBrowser,
        QObject *parent = nullptr);
    ~OAuthSignIn() override;

    void start();
    // The time limit's end (its timer calls it).
    void timeOut();
    QUrl redirectUri() const;

Q_SIGNALS:
    // Once: the grant, or why there is none.
    void finished(const jw::TokenGrant &grant, const QString &error);

private:
    void accept();
    void read(QTcpSocket *socket);
    void answerBrowser(QTcpSocket *socket, int status, const QString &text);
    void finish(const TokenGrant &grant, const QString &error);

    OAuthEndpoints m_endpoints;
    QString m_loginHint;
    Opener m_open;
    QNetworkAccessManager *m_network = nullptr;
    QTcpServer *m_listener = nullptr;
    QTimer *m_limit = nullptr;
    QUrl m_redirectUri;
    QByteArray m_verifier;
    QByteArray m_state;
    bool m_answered = false; // the one redirect has come
    bool m_done = false;
};

} // namespace jw

Q_DECLARE_METATYPE(jw::TokenGrant)
