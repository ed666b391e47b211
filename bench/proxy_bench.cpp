// The proxy's cost: the same mailbox fetched by the same POP3 client
// straight from a real Dovecot and through the proxy, in one run. Prints
// a table with the ratios and the proxy's memory.
//
//   proxy_bench [--quick] [--plain]
//
// With --plain neither leg is encrypted: Dovecot offers no TLS, the client
// and the proxy talk plain POP3 to it.
#include "support/dovecot.h"
#include "support/testfiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace jw::test;

namespace {

// A POP3 client as mail clients are: log in (over STLS when `ca` is given,
// as a client talking to the server itself would), list, retrieve every
// message, quit. Returns the bytes received, or -1 on any error.
qint64 fetchAll(quint16 port, const QByteArray &user, const QString &ca = {})
{
    QSslSocket socket;
    socket.connectToHost(QStringLiteral("localhost"), port);
    if (!socket.waitForConnected(10000))
        return -1;
    QByteArray pending;
    const auto line = [&]() -> QByteArray {
        for (;;) {
            const qsizetype end = pending.indexOf('\n');
            if (end >= 0) {
                QByteArray l = pending.left(end + 1);
                pending.remove(0, end + 1);
                return l;
            }
            if (!socket.waitForReadyRead(60000))
                return {};
            pending += socket.readAll();
        }
    };
    const auto command = [&](const QByteArray &text) {
        socket.write(text + "\r\n");
        return line();
    };
    if (!line().startsWith("+OK"))
        return -1;
    if (!ca.isEmpty()) {
        if (!command("STLS").startsWith("+OK"))
            return -1;
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.addCaCertificates(QSslCertificate::fromPath(ca));
        socket.setSslConfiguration(tls);
        socket.startClientEncryption();
        if (!socket.waitForEncrypted(10000))
            return -1;
    }
    if (!command("USER " + user).startsWith("+OK") || !command("PASS secret").startsWith("+OK"))
        return -1;
    const QByteArray stat = command("STAT");
    const int count = stat.split(' ').value(1).toInt();
    qint64 received = 0;
    for (int i = 1; i <= count; ++i) {
        if (!command("RETR " + QByteArray::number(i)).startsWith("+OK"))
            return -1;
        for (;;) {
            const QByteArray l = line();
            if (l.isEmpty())
                return -1;
            if (l == ".\r\n")
                break;
            received += l.size();
        }
    }
    command("QUIT");
    return received;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

qint64 memoryKb(qint64 pid, const char *field)
{
    for (const QByteArray &l : readFile(QStringLiteral("/proc/%1/status").arg(pid)).split('\n')) {
        if (l.startsWith(field))
            return l.mid(qstrlen(field)).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// `clients` fetches at once, each in its own thread; the wall time in ms.
double timeParallel(int clients, quint16 port, const QByteArray &user, const QString &ca, bool *ok)
{
    QElapsedTimer timer;
    timer.start();
    std::vector<QThread *> threads;
    std::vector<qint64> results(size_t(clients), 0);
    for (int i = 0; i < clients; ++i) {
        threads.push_back(
            QThread::create([&results, i, port, user, ca] { results[size_t(i)] = fetchAll(port, user, ca); }));
        threads.back()->start();
    }
    for (QThread *t : threads) {
        t->wait();
        delete t;
    }
    *ok = std::all_of(results.begin(), results.end(), [](qint64 r) { return r > 0; });
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const bool quick = app.arguments().contains(QStringLiteral("--quick"));
    const bool plain = app.arguments().contains(QStringLiteral("--plain"));
    const int messages = quick ? 200 : 1000;
    const int rounds = quick ? 3 : 7;
    const int clients = 20;
    const QString unavailable = DovecotServer::unavailableReason();
    if (!unavailable.isEmpty()) {
        std::printf("proxy_bench: skipped: %s\n", qUtf8Printable(unavailable));
        return 0;
    }
    DovecotServer dovecot;
    dovecot.addUser("ann", "secret");
    QByteArray body;
    while (body.size() < 20 * 1024)
        body += "Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor.\r\n";
    for (int i = 0; i < messages; ++i)
        dovecot.addMessage("ann",
            "From: carol@friends.example\r\nTo: ann@example.com\r\nSubject: note " + QByteArray::number(i)
                + "\r\nDate: Mon, 7 Dec 2026 10:00:00 +0000\r\nMessage-ID: <" + QByteArray::number(i)
                + "@friends.example>\r\n\r\n" + body);
    QString problem;
    if (!dovecot.start(&problem, 0, !plain)) {
        std::printf("proxy_bench: %s\n", qUtf8Printable(problem));
        return 1;
    }

    // The release proxy in a program folder of its own.
    QTemporaryDir program;
    const QString folder = program.path() + QLatin1Char('/');
    QDir().mkpath(folder + QStringLiteral("config"));
    QFile::copy(QStringLiteral(JW_PROGRAM_DIR "/vexel3"), folder + QStringLiteral("vexel3"));
    QFile::copy(QStringLiteral(JW_PROGRAM_DIR "/config/methods.cfg"), folder + QStringLiteral("config/methods.cfg"));
    const quint16 port = freeLoopbackPort();
    writeFile(folder + QStringLiteral("config/main.cfg"),
        "server_port=" + QByteArray::number(port) + "\r\nwhat_with_spam=quarantine\r\n"
            + (plain ? QByteArray() : "tls_ca_file=" + QFile::encodeName(dovecot.caFile()) + "\r\n"));
    writeFile(folder + QStringLiteral("config/blacklist"), "spam.example\r\n");
    writeFile(folder + QStringLiteral("registry.reg"),
        "Windows Registry Editor Version "
        "5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Brightfold\\Mailmoat\\Accounts\\00000001]\r\n"
        "\"POP3 Server\"=\"localhost\"\r\n\"POP3 User Name\"=\"ann,localhost\"\r\n\"Use Mailmoater\"=\"yes\"\r\n"
        "\"POP3 Server orig\"=\"localhost\"\r\n\"POP3 Port orig\"=dword:"
            + QByteArray::number(dovecot.plainPort(), 16).rightJustified(8, '0') + "\r\n\r\n");
    QProcess proxy;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("JUNKWARDEN_REGISTRY"), folder + QStringLiteral("registry.reg"));
    proxy.setProcessEnvironment(env);
    proxy.start(folder + QStringLiteral("vexel3"), {});
    proxy.waitForStarted();
    waitUntil([port] {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port);
        return probe.waitForConnected(200);
    });

    // A session judges every message it has not judged before; the proxy
    // remembers what passed in its state folder. Forgetting that before a
    // round makes the round judge everything again; later sessions relay.
    const auto forgetJudged = [&folder] {
        QDir state(folder + QStringLiteral("state"));
        for (const QString &name : state.entryList({QStringLiteral("*.judged")}, QDir::Files))
            state.remove(name);
    };
    const QString directCa = plain ? QString() : dovecot.caFile();
    QElapsedTimer timer;
    std::vector<double> direct, judged, relayed;
    for (int round = 0; round < rounds; ++round) {
        timer.restart();
        const qint64 a = fetchAll(dovecot.plainPort(), "ann", directCa);
        direct.push_back(double(timer.nsecsElapsed()) / 1e6);
        forgetJudged();
        timer.restart();
        const qint64 b = fetchAll(port, "ann,localhost");
        judged.push_back(double(timer.nsecsElapsed()) / 1e6);
        timer.restart();
        const qint64 c = fetchAll(port, "ann,localhost");
        relayed.push_back(double(timer.nsecsElapsed()) / 1e6);
        // Each message passes with one added header line of 22 octets.
        if (a <= 0 || b - a != qint64(messages) * 22 || c != b) {
            std::printf("proxy_bench: fetch failed (%lld, %lld and %lld bytes)\n", a, b, c);
            return 1;
        }
    }
    bool okDirect = false;
    bool okProxy = false;
    std::vector<double> directParallel, proxyParallel;
    for (int round = 0; round < (quick ? 1 : 3); ++round) {
        directParallel.push_back(timeParallel(clients, dovecot.plainPort(), "ann", directCa, &okDirect));
        proxyParallel.push_back(timeParallel(clients, port, "ann,localhost", {}, &okProxy));
    }

    const double d = median(direct);
    const double j = median(judged);
    const double r = median(relayed);
    const double dp = median(directParallel);
    const double pp = median(proxyParallel);
    std::printf("\n%d messages of 20 KB, medians of %d alternated runs. %s\n\n", messages, rounds,
        plain ? "Neither leg is encrypted: Dovecot offers no TLS."
              : "Straight from Dovecot the client uses\nSTLS, as it would without the proxy; through the proxy it "
                "talks plain POP3 on loopback and\nthe proxy uses STLS to Dovecot.");
    std::printf("| Work | Through the proxy | Straight from Dovecot | Ratio |\n|---|---|---|---|\n");
    std::printf("| New mail: every message judged | %.0f ms | %.0f ms | %.2f |\n", j, d, j / d);
    std::printf("| The same, first session after the proxy started (one run) | %.0f ms | %.0f ms | %.2f |\n", judged[0],
        direct[0], judged[0] / direct[0]);
    std::printf("| Mail judged before: relayed | %.0f ms | %.0f ms | %.2f |\n", r, d, r / d);
    std::printf("| %d clients at once, each fetching all%s | %.0f ms | %.0f ms | %.2f |\n", clients,
        okDirect && okProxy ? "" : " (SOME FAILED)", pp, dp, pp / dp);
    std::printf("\nProxy memory: peak %lld KB, now %lld KB resident\n", memoryKb(proxy.processId(), "VmHWM:"),
        memoryKb(proxy.processId(), "VmRSS:"));
    proxy.kill();
    proxy.waitForFinished();
    return 0;
}
