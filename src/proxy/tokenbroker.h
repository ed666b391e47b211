#pragma once

#include "oauth/oauthprovider.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class QNetworkAccessManager;

namespace jw {

class TokenStore;

// The proxy's access tokens, in memory only: refreshed from the stored
// refresh token before they expire, one refresh at a time per account
// however many sessions wait for it, a rotated refresh token stored at once.
// A refresh token the server calls invalid is asked with once: until the
// user signs in again (a new one in the store), the account needs sign-in
// and no request is made.
class TokenBroker : public QObject
{
    Q_OBJECT
public:
    // A token this close to its end is refreshed before use.
    static constexpr qint64 kRefreshAheadMs = 5 * 60 * 1000;

    struct Result
    {
        QByteArray accessToken;
        QString error; // never holds a token
        bool signInNeeded = false;
    };
    using Done = std::function<void(const Result &)>;

    TokenBroker(TokenStore &store, const QString &stateFolder, QObject *parent = nullptr);
    ~TokenBroker() override;

    void accessToken(const QString &account, const OAuthEndpoints &endpoints, Done done);
    // The server refused the access token: the next request refreshes.
    void forget(const QString &account);

private:
    struct Entry
    {
        QByteArray accessToken;
        qint64 expiresAtMs = 0;
        bool refreshing = false;
        QList<Done> waiting;
        QByteArray refusedRefreshToken; // the one the server called invalid
    };
    void refresh(const QString &account, const OAuthEndpoints &endpoints);
    void settle(const QString &account, const Result &result);
    void markSignInNeeded(const QString &account, bool needed);

    TokenStore &m_store;
    QString m_stateFolder;
    QNetworkAccessManager *m_network = nullptr;
    QElapsedTimer m_clock;
    QHash<QString, Entry> m_entries;
};

} // namespace jw
