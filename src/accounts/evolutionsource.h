#pragma once

#include "accounts/keyfileaccounts.h"

namespace jw {

inline constexpr char16_t kEvolutionSource[] = u"Evolution";

// Evolution's POP3 accounts, changed live through evolution-source-registry
// on the session bus (Evolution follows the registry while it runs, so
// nothing waits). Only the connection values change: the account keeps its
// password and its record of downloaded mail, both kept by its UID. What
// routing changed is kept in Junkwarden's record.
class EvolutionSource final : public RecordedClientSource
{
public:
    // `serviceFolders`: where the bus finds its services (empty: the usual ones).
    explicit EvolutionSource(ClientPlaces places, QStringList serviceFolders = {});

    QString name() const override;
    QList<AccountRow> find(int proxyPort) const override;
    // One place, the registry's bus name, while evolution-data-server is installed.
    QStringList places() const override;
    QString placeOf(const AccountRow &row) const override;
    ClientChange save(const QList<AccountRow> &rows, int proxyPort, bool filterOn) const override;
    ClientChange route(const QStringList &places, int proxyPort) const override;
    ClientChange restore(const QStringList &places) const override;

private:
    // Unless `onlyWhenRecorded` is false, nothing is asked of the registry
    // while the record holds none of its accounts.
    ClientChange edit(const RoutingWish &wish, int proxyPort, bool onlyWhenRecorded) const;

    // The registry's bus name, looked for once it is needed: the proxy's
    // lookups and the mail check never need it.
    const std::optional<QString> &service() const;
    QStringList m_serviceFolders;
    mutable std::optional<std::optional<QString>> m_service;
};

} // namespace jw
