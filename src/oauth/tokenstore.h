#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace jw {

// Where refresh tokens are kept, by account ("user,server" in lower case):
// the desktop's secret store (Secret Service, through QtKeychain), or where
// none answers, a file readable by the user alone in the data folder's
// state/. Never the settings or the registry file. Calls answer on the
// event loop.
class TokenStore
{
public:
    virtual ~TokenStore() = default;
    using Loaded = std::function<void(const std::optional<QByteArray> &token)>;
    using Saved = std::function<void(const QString &problem)>;
    virtual void load(const QString &account, Loaded done) = 0;
    virtual void save(const QString &account, const QByteArray &token, Saved done) = 0;
    virtual void remove(const QString &account) = 0;
    // Why the tokens lie in a file rather than the secret store (empty
    // while they do not): the settings page shows it.
    virtual QString fallbackNote() const = 0;
};

// The account's name in the store.
QString tokenAccount(const QString &user, const QString &server);

// The secret store with the file of `stateFolder` ("oauth-tokens") behind it.
std::unique_ptr<TokenStore> createTokenStore(const QString &stateFolder);
// The same, working on a thread of its own with GLib's event loop, which
// the secret store's library needs: for a program whose own loop is Qt's
// plain one (the proxy). Answers come on the calling thread.
std::unique_ptr<TokenStore> createTokenStoreOnOwnThread(const QString &stateFolder);
// The file alone.
std::unique_ptr<TokenStore> createFileTokenStore(const QString &stateFolder);

} // namespace jw
