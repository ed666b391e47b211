#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace jw::test {

// A real name server (dnsmasq from Debian) on a loopback address at port
// 53, answering only from the records it is given: names under "example"
// and "test" that it does not hold do not exist. Started and stopped by
// the test.
class DnsServer
{
public:
    // Why this machine cannot run one (no dnsmasq, not root); empty when it
    // can.
    static QString unavailableReason();

    // `address`: a loopback address of its own ("127.0.5.3"). `records`:
    // dnsmasq options ("--host-record=name,address", "--mx-host=...").
    DnsServer(QString address, const QStringList &records);
    ~DnsServer();

    // False, with dnsmasq's words, when it did not come up within 5 s.
    bool start(QString *problem);
    QString address() const { return m_address; }

private:
    QString m_address;
    QStringList m_records;
    QProcess m_process;
};

} // namespace jw::test
