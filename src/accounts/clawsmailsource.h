#pragma once

#include "accounts/keyfileaccounts.h"

namespace jw {

inline constexpr char16_t kClawsMailSource[] = u"Claws Mail";

// Claws Mail's POP3 accounts, in "accountrc" of its configuration folder.
// Claws rewrites that file when it exits, dropping what it does not know:
// it is changed only while Claws is closed, and what routing changed is
// kept in Junkwarden's record. The record of downloaded mail follows the
// account to its routed name and back, so nothing is downloaded twice.
class ClawsMailSource final : public RecordedClientSource
{
public:
    // `runtimeDir` holds Claws Mail's socket (empty: as Claws finds it).
    explicit ClawsMailSource(ClientPlaces places, QString runtimeDir = {});

    QString name() const override;
    QList<AccountRow> find(int proxyPort) const override;
    QStringList places() const override;
    QString placeOf(const AccountRow &row) const override;
    QString watchFolder(const QString &place) const override;
    ClientChange save(const QList<AccountRow> &rows, int proxyPort, bool filterOn) const override;
    ClientChange route(const QStringList &places, int proxyPort) const override;
    ClientChange restore(const QStringList &places) const override;

private:
    ClientChange edit(const QStringList &folders, const RoutingWish &wish, int proxyPort) const;

    QString m_runtimeDir;
};

} // namespace jw
