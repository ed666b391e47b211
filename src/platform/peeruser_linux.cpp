#include "platform/peeruser.h"

#include <QByteArray>
#include <QFile>

#include <cstring>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace jw {

namespace {

// An address as the kernel keeps it: 4 or 16 bytes in network order.
bool rawAddress(const QHostAddress &address, int family, quint32 out[4])
{
    std::memset(out, 0, 16);
    if (family == AF_INET) {
        bool ok = false;
        const quint32 v4 = address.toIPv4Address(&ok);
        if (!ok)
            return false;
        out[0] = htonl(v4);
        return true;
    }
    const Q_IPV6ADDR v6 = address.toIPv6Address();
    std::memcpy(out, v6.c, 16);
    return true;
}

int familyOf(const QHostAddress &address)
{
    return address.protocol() == QAbstractSocket::IPv4Protocol ? AF_INET : AF_INET6;
}

// Asks the kernel's socket diagnostics (sock_diag) for the one socket whose
// source is the peer and whose destination is us: the client's own socket.
std::optional<uint> askSockDiag(
    int family, const quint32 peer[4], quint16 peerPort, const quint32 local[4], quint16 localPort)
{
    const int fd = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (fd < 0)
        return std::nullopt;
    struct
    {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } message = {};
    message.header.nlmsg_len = sizeof(message);
    message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    message.header.nlmsg_flags = NLM_F_REQUEST;
    message.request.sdiag_family = quint8(family);
    message.request.sdiag_protocol = IPPROTO_TCP;
    message.request.idiag_states = ~0u;
    message.request.id.idiag_sport = htons(peerPort);
    message.request.id.idiag_dport = htons(localPort);
    std::memcpy(message.request.id.idiag_src, peer, 16);
    std::memcpy(message.request.id.idiag_dst, local, 16);
    message.request.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
    message.request.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
    sockaddr_nl kernel = {};
    kernel.nl_family = AF_NETLINK;
    std::optional<uint> owner;
    if (::sendto(fd, &message, sizeof(message), 0, reinterpret_cast<sockaddr *>(&kernel), sizeof(kernel))
        == ssize_t(sizeof(message))) {
        alignas(nlmsghdr) char answer[8192];
        const ssize_t got = ::recv(fd, answer, sizeof(answer), 0);
        auto *header = reinterpret_cast<nlmsghdr *>(answer);
        if (got > 0 && NLMSG_OK(header, size_t(got)) && header->nlmsg_type == SOCK_DIAG_BY_FAMILY
            && header->nlmsg_len >= NLMSG_LENGTH(sizeof(inet_diag_msg))) {
            const auto *found = static_cast<const inet_diag_msg *>(NLMSG_DATA(header));
            owner = found->idiag_uid;
        }
    }
    ::close(fd);
    return owner;
}

// The same read from /proc/net/tcp or tcp6, where sock_diag is missing.
std::optional<uint> askProcNet(
    int family, const quint32 peer[4], quint16 peerPort, const quint32 local[4], quint16 localPort)
{
    const auto endpoint = [family](const quint32 address[4], quint16 port) {
        QByteArray text;
        for (int i = 0; i < (family == AF_INET ? 1 : 4); ++i)
            text += QByteArray::number(address[i], 16).rightJustified(8, '0').toUpper();
        return text + ':' + QByteArray::number(port, 16).rightJustified(4, '0').toUpper();
    };
    const QByteArray source = endpoint(peer, peerPort);
    const QByteArray destination = endpoint(local, localPort);
    QFile table(family == AF_INET ? QStringLiteral("/proc/net/tcp") : QStringLiteral("/proc/net/tcp6"));
    if (!table.open(QIODevice::ReadOnly))
        return std::nullopt;
    for (int row = 0; row < 1000000 && !table.atEnd(); ++row) {
        const QList<QByteArray> fields = table.readLine(4096).simplified().split(' ');
        bool ok = false;
        const uint uid = fields.value(7).toUInt(&ok);
        if (fields.size() > 7 && fields.at(1) == source && fields.at(2) == destination && ok)
            return uid;
    }
    return std::nullopt;
}

} // namespace

std::optional<uint> localPeerUser(
    const QHostAddress &peer, quint16 peerPort, const QHostAddress &local, quint16 localPort)
{
    const int family = familyOf(local);
    quint32 peerRaw[4];
    quint32 localRaw[4];
    if (familyOf(peer) != family || !rawAddress(peer, family, peerRaw) || !rawAddress(local, family, localRaw))
        return std::nullopt;
    if (const std::optional<uint> owner = askSockDiag(family, peerRaw, peerPort, localRaw, localPort))
        return owner;
    return askProcNet(family, peerRaw, peerPort, localRaw, localPort);
}

uint currentUser()
{
    return ::getuid();
}

} // namespace jw
