#pragma once

#include "proxy/mailfacts.h"
#include "proxy/methodchecks.h"

#include <QString>
#include <QStringList>

namespace jw {

// The domain a host belongs to as its owner registered it, by the public
// suffix list ("mail.shop.example.co.uk" -> "shop.example.co.uk" becomes
// "example.co.uk"); lower case. A name the list does not know as
// registrable (one label, an address) is returned as it is, in lower case.
QString registrableDomain(const QString &host);

// Signs that a message is what it claims to be and comes from where it
// says: places beside the From field that name the same registrable domain
// as the From address. Each is a sign only, read from the message as it
// stands (nothing is verified over the network): the DKIM signature's
// domain, the list fields (List-Unsubscribe and the other List-* fields,
// all of them), the Message-ID and the server that handed the message to
// the user's provider (its name in the DNS, from the Received chain).
// The Return-Path is not counted: spam forges it along with From as
// readily as it forges From. Each sign in words
// ("signed by the sender's domain (example.com)"); none when the message
// has no From address.
QStringList senderEvidence(const MailFacts &facts, const QList<ReceivedHop> &hops);

// At most this many signs lower a message's spam level, one point each.
inline constexpr int kMostEvidence = 2;

} // namespace jw
