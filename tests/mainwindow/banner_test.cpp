#include "mainformfixture.h"
#include "mainwindow/bannerview.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace jw::test {
namespace {

// A local web server that answers every request with one page, or holds
// the answers back until told.
class BannerServer : public QObject
{
public:
    BannerServer()
    {
        m_server.listen(QHostAddress::LocalHost);
        QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
                    const QByteArray request = socket->readAll();
                    requests.append(request.left(request.indexOf("\r\n")));
                    if (holding)
                        held.append(socket);
                    else
                        answer(socket);
                });
            }
        });
    }
    QUrl address() const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/cgi-bin/banner_en.cgi").arg(m_server.serverPort()));
    }
    void release()
    {
        holding = false;
        for (QTcpSocket *socket : std::as_const(held))
            answer(socket);
        held.clear();
    }

    QList<QByteArray> requests;
    bool holding = false;

private:
    void answer(QTcpSocket *socket)
    {
        const QByteArray body = "<html><body><a href=\"http://elsewhere.example/offer\">Our offer</a>"
                                "<img src=\"/etc/passwd\"></body></html>";
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\nContent-Length: "
            + QByteArray::number(body.size()) + "\r\n\r\n" + body);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QList<QTcpSocket *> held;
};

using BannerTest = MainFormFixture;

TEST_F(BannerTest, LoadsItsAddressAndSendsEveryOtherLinkToTheBrowser)
{
    BannerServer server;
    TMainForm &w = open(server.address());
    EXPECT_TRUE(w.Banerpanel->isVisible());
    EXPECT_TRUE(w.BanerTimer->isActive());
    EXPECT_EQ(w.BanerTimer->interval(), 180000);
    ASSERT_TRUE(waitUntil([&] { return !w.BannerBrowser->isBusy() && !server.requests.isEmpty(); }));
    EXPECT_EQ(server.requests, QList<QByteArray>{"GET /cgi-bin/banner_en.cgi HTTP/1.1"});
    EXPECT_TRUE(w.BannerBrowser->toPlainText().contains(QStringLiteral("Our offer")));

    // A click on the banner's link.
    Q_EMIT w.BannerBrowser->linkClicked(QStringLiteral("http://elsewhere.example/offer"));
    EXPECT_EQ(shell.opened, QList<QUrl>{QUrl(QStringLiteral("http://elsewhere.example/offer"))});
    EXPECT_EQ(w.BannerBrowser->currentUrl(), server.address()) << "the banner stays on its page";
    EXPECT_EQ(server.requests.size(), 1);
}

TEST_F(BannerTest, ReloadIsSkippedWhileBusy)
{
    BannerServer server;
    server.holding = true;
    TMainForm &w = open(server.address());
    ASSERT_TRUE(waitUntil([&] { return server.requests.size() == 1; }));
    EXPECT_TRUE(w.BannerBrowser->isBusy());
    w.BanerTimerTimer();
    QCoreApplication::processEvents();
    server.release();
    ASSERT_TRUE(waitUntil([&] { return !w.BannerBrowser->isBusy(); }));
    EXPECT_EQ(server.requests.size(), 1);

    w.BanerTimerTimer();
    ASSERT_TRUE(waitUntil([&] { return server.requests.size() == 2; }));
}

} // namespace
} // namespace jw::test
