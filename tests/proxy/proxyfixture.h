#pragma once

#include "support/dovecot.h"
#include "support/testfiles.h"

#include <QProcess>
#include <QTcpSocket>

#include <gtest/gtest.h>
#include <memory>

namespace jw::test {

// The real proxy in a scratch program folder, in front of a real Dovecot
// that holds user "ann" (password "secret"), with clients that talk POP3.
class ProxyFixture : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // main.cfg with the proxy's port and the server's CA; `extra` lines are
    // added.
    void writeSettings(const QByteArray &extra = {});
    // The account store: ann's account on "localhost" at `port` (the
    // server's plain port when 0), routed; `more` values go into its key.
    void writeAccounts(quint16 port = 0, const QByteArray &more = {});
    // `environment` is added to the proxy's.
    void startProxy(const QProcessEnvironment &environment = {});
    void stopProxy();

    struct Fetch
    {
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
    };
    // curl as the mail client: `path` is "" for LIST, "N" for RETR N.
    Fetch curl(const QString &path, const QStringList &extra = {}, const QByteArray &user = "ann,localhost",
        const QByteArray &password = "secret");
    QList<QByteArray> uidls(const QByteArray &user = "ann,localhost");
    // The proxy's peak resident memory so far, in KB.
    qint64 proxyPeakKb();

    QString configFile(const char *name) const { return folder.configPath() + QLatin1String(name); }

    std::unique_ptr<DovecotServer> dovecot;
    TempProgramFolder folder;
    QProcess proxy;
    bool captureProxyOutput = false; // what the proxy prints goes to proxyOutput
    QByteArray proxyOutput;
    quint16 proxyPort = 0;
};

// A POP3 conversation held line by line, for what curl cannot do (leave
// without QUIT, send garbage).
class Pop3Talk
{
public:
    explicit Pop3Talk(quint16 port);
    bool connected() const { return m_connected; }
    // Sends a line (without CR LF) and returns the first line of the answer.
    QByteArray say(const QByteArray &line);
    QByteArray readLine();
    // Reads a multi-line answer's lines up to the end line.
    QList<QByteArray> readBody();
    QTcpSocket &socket() { return m_socket; }

private:
    QTcpSocket m_socket;
    bool m_connected = false;
};

} // namespace jw::test
