#pragma once

#include "accounts/accounts.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace jw {

// Thunderbird as the fourth source of POP3 accounts: the accounts of every
// profile of the user's installations (found under `home`).
inline constexpr char16_t kThunderbirdSource[] = u"Thunderbird";

// The real POP3 server of a Thunderbird account whose real server is
// `server` (without regard to case), preferring the one whose real user is
// `user`, with its own port and security; nullopt when no profile names it.
std::optional<UpstreamAccount> findThunderbirdUpstream(const QString &home, const QString &user, const QString &server);

} // namespace jw
