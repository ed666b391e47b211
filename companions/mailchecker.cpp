// The mail checker "PostPing": started by Junkwarden's timer with no
// arguments, it asks the running proxy to check the mail of every routed
// account it can log in to (see proxy/mailcheck.h) and waits for it to
// finish. What the check did, or why it could not run, goes to the standard
// output and to "debug2.log" when that log exists. Exit status 0 when the
// check ran, 1 when it could not.
#include "platform/datafolder.h"
#include "platform/processes.h"
#include "settings/keyvaluefile.h"
#include "settings/settingsfile.h"
#include "settings/settingskeys.h"
#include "textfile/errors.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QHostAddress>
#include <QTcpSocket>

#include <algorithm>
#include <cstdio>

namespace {

// A check reads every new message of every account: it may take long.
constexpr int kMostCheckMs = 30 * 60 * 1000;
constexpr int kConnectMs = 5000;

QByteArray answerLine(QTcpSocket &socket, int waitMs)
{
    QDeadlineTimer deadline(waitMs);
    while (!socket.canReadLine()) {
        if (socket.bytesAvailable() > 4096 || deadline.hasExpired()
            || socket.state() != QAbstractSocket::ConnectedState)
            return "-ERR the proxy did not answer: " + socket.errorString().toUtf8();
        socket.waitForReadyRead(int(std::min<qint64>(deadline.remainingTime(), 1000)));
    }
    return socket.readLine(4096).trimmed();
}

QByteArray askForCheck(quint16 port)
{
    if (port == 0)
        return "-ERR no proxy port in main.cfg (server_port)";
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(kConnectMs))
        return "-ERR the proxy is not running: " + socket.errorString().toUtf8();
    const QByteArray greeting = answerLine(socket, kConnectMs);
    if (!greeting.startsWith("+OK"))
        return greeting;
    socket.write("XCHECK\r\n");
    const QByteArray outcome = answerLine(socket, kMostCheckMs);
    socket.write("QUIT\r\n");
    socket.waitForBytesWritten(1000);
    return outcome;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString data = jw::dataFolderFor(jw::ownExecutableFolder());
    int port = 0;
    try {
        port = jw::settingsfile::number(
            jw::settingsfile::loadOrEmpty(data + QStringLiteral("config/")), jw::settingskeys::kServerPort);
    } catch (const jw::Error &) {
    }
    const QByteArray outcome = askForCheck(quint16(port > 0 && port < 65536 ? port : 0));
    const QByteArray line = "PostPing: " + (outcome.startsWith("+OK ") ? outcome.mid(4) : outcome);
    std::printf("%s\n", line.constData());
    QFile log(data + QStringLiteral("debug2.log"));
    if (log.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::ExistingOnly))
        log.write(QDateTime::currentDateTime().toString(Qt::ISODate).toUtf8() + ' ' + line + "\r\n");
    return outcome.startsWith("+OK") ? 0 : 1;
}
