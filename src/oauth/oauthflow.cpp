#include "oauth/oauthflow.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrlQuery>

namespace jw {

namespace {

constexpr int kTokenTimeoutMs = 30 * 1000;
constexpr qint64 kMostTokenAnswer = 64 * 1024;

QByteArray formBody(const QList<std::pair<QString, QString>> &fields)
{
    QByteArray body;
    for (const auto &[name, value] : fields) {
        if (!body.isEmpty())
            body += '&';
        body += QUrl::toPercentEncoding(name) + '=' + QUrl::toPercentEncoding(value);
    }
    return body;
}

void postToken(QNetworkAccessManager &network, const OAuthEndpoints &endpoints,
    QList<std::pair<QString, QString>> fields, QObject *context, std::function<void(const TokenOutcome &)> done)
{
    fields.append({QStringLiteral("client_id"), endpoints.clientId});
    if (!endpoints.clientSecret.isEmpty())
        fields.append({QStringLiteral("client_secret"), endpoints.clientSecret});
    QNetworkRequest request(endpoints.token);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
    request.setRawHeader("Accept", "application/json");
    request.setTransferTimeout(kTokenTimeoutMs);
    QNetworkReply *reply = network.post(request, formBody(fields));
    QObject::connect(reply, &QNetworkReply::finished, context, [reply, done = std::move(done)] {
        reply->deleteLater();
        TokenOutcome outcome;
        const QByteArray body = reply->read(kMostTokenAnswer);
        const QJsonObject json = QJsonDocument::fromJson(body).object();
        const QString error = json.value(QLatin1String("error")).toString();
        if (!error.isEmpty() || reply->error() != QNetworkReply::NoError) {
            // Only the endpoint's error code travels on: its other fields
            // are text of the server's choosing.
            outcome.invalidGrant = error == QLatin1String("invalid_grant");
            outcome.error = !error.isEmpty() ? QStringLiteral("the sign-in server answered %1").arg(error.left(64))
                                             : QStringLiteral("the sign-in server cannot be reached (%1)")
                                                   .arg(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute)
                                                            .toInt());
            done(outcome);
            return;
        }
        TokenGrant grant;
        grant.accessToken = json.value(QLatin1String("access_token")).toString().toUtf8();
        grant.refreshToken = json.value(QLatin1String("refresh_token")).toString().toUtf8();
        grant.expiresInSecs = json.value(QLatin1String("expires_in")).toVariant().toLongLong();
        if (grant.accessToken.isEmpty()) {
            outcome.error = QStringLiteral("the sign-in server gave no access token");
            done(outcome);
            return;
        }
        if (grant.expiresInSecs <= 0)
            grant.expiresInSecs = 3600;
        outcome.grant = grant;
        done(outcome);
    });
}

QByteArray base64Url(const QByteArray &bytes)
{
    return bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

} // namespace

QByteArray randomUrlSafe(int bytes)
{
    QByteArray random(bytes, Qt::Uninitialized);
    QRandomGenerator::system()->generate(random.begin(), random.end());
    return base64Url(random);
}

QByteArray pkceChallengeS256(const QByteArray &verifier)
{
    return base64Url(QCryptographicHash::hash(verifier, QCryptographicHash::Sha256));
}

void exchangeCode(QNetworkAccessManager &network, const OAuthEndpoints &endpoints, const QByteArray &code,
    const QString &redirectUri, const QByteArray &verifier, QObject *context,
    std::function<void(const TokenOutcome &)> done)
{
    postToken(network, endpoints,
        {{QStringLiteral("grant_type"), QStringLiteral("authorization_code")},
            {QStringLiteral("code"), QString::fromUtf8(code)}, {QStringLiteral("redirect_uri"), redirectUri},
            {QStringLiteral("code_verifier"), QString::fromLatin1(verifier)}},
        context, std::move(done));
}

void refreshAccess(QNetworkAccessManager &network, const OAuthEndpoints &endpoints, const QByteArray &refreshToken,
    QObject *context, std::function<void(const TokenOutcome &)> done)
{
    postToken(network, endpoints,
        {{QStringLiteral("grant_type"), QStringLiteral("refresh_token")},
            {QStringLiteral("refresh_token"), QString::fromUtf8(refreshToken)}},
        context, std::move(done));
}

OAuthSignIn::OAuthSignIn(const OAuthEndpoints &endpoints, const QString &loginHint, Opener openBrowser, QObject *parent)
    : QObject(parent)
    , m_endpoints(endpoints)
    , m_loginHint(loginHint)
    , m_open(std::move(openBrowser))
    , m_network(new QNetworkAccessManager(this))
    , m_listener(new QTcpServer(this))
    , m_limit(new QTimer(this))
{
    m_limit->setSingleShot(true);
    m_limit->setInterval(kTimeLimitMs);
    connect(m_limit, &QTimer::timeout, this, &OAuthSignIn::timeOut);
    connect(m_listener, &QTcpServer::newConnection, this, &OAuthSignIn::accept);
}

OAuthSignIn::~OAuthSignIn() = default;

QUrl OAuthSignIn::redirectUri() const
{
    return m_redirectUri;
}

void OAuthSignIn::start()
{
    // The loopback address only: nothing from another machine can answer.
    if (!m_listener->listen(QHostAddress::LocalHost, 0)) {
        finish({}, QStringLiteral("no local port for the sign-in: %1").arg(m_listener->errorString()));
        return;
    }
    m_redirectUri = QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(m_listener->serverPort()));
    m_verifier = randomUrlSafe(32);
    m_state = randomUrlSafe(16);
    QUrl address = m_endpoints.authorize;
    QUrlQuery query(address);
    query.addQueryItem(QStringLiteral("response_type"), QStringLiteral("code"));
    query.addQueryItem(QStringLiteral("client_id"), m_endpoints.clientId);
    query.addQueryItem(QStringLiteral("redirect_uri"), redirectUri().toString());
    query.addQueryItem(QStringLiteral("scope"), m_endpoints.scope);
    query.addQueryItem(QStringLiteral("state"), QString::fromLatin1(m_state));
    query.addQueryItem(QStringLiteral("code_challenge"), QString::fromLatin1(pkceChallengeS256(m_verifier)));
    query.addQueryItem(QStringLiteral("code_challenge_method"), QStringLiteral("S256"));
    if (!m_loginHint.isEmpty())
        query.addQueryItem(QStringLiteral("login_hint"), m_loginHint);
    for (const auto &[name, value] : std::as_const(m_endpoints.extraAuthorizeParameters))
        query.addQueryItem(name, value);
    // Spaces in the scope as %20, which every provider reads.
    address.setQuery(query.query(QUrl::FullyEncoded).replace(QLatin1Char('+'), QStringLiteral("%2B")), QUrl::StrictMode);
    m_limit->start();
    if (!m_open(address))
        finish({}, QStringLiteral("no web browser could be opened for the sign-in"));
}

void OAuthSignIn::timeOut()
{
    finish({}, QStringLiteral("the sign-in was not finished within five minutes"));
}

void OAuthSignIn::accept()
{
    while (QTcpSocket *socket = m_listener->nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void OAuthSignIn::answerBrowser(QTcpSocket *socket, int status, const QString &text)
{
    const QByteArray page = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Junkwarden</title></head>"
                            "<body style=\"font-family:sans-serif\"><h2>Junkwarden</h2><p>"
        + text.toHtmlEscaped().toUtf8() + "</p></body></html>";
    socket->write("HTTP/1.1 " + QByteArray::number(status) + (status == 200 ? " OK" : " Bad Request")
        + "\r\nContent-Type: text/html; charset=utf-8\r\nCache-Control: no-store\r\nConnection: close\r\n"
          "Content-Length: "
        + QByteArray::number(page.size()) + "\r\n\r\n" + page);
    socket->disconnectFromHost();
}

void OAuthSignIn::read(QTcpSocket *socket)
{
    if (socket->property("jw_request").toByteArray().size() > kMostRequestBytes)
        return;
    const QByteArray request = socket->property("jw_request").toByteArray() + socket->readAll();
    socket->setProperty("jw_request", request);
    if (!request.contains("\r\n\r\n")) {
        if (request.size() > kMostRequestBytes)
            socket->abort();
        return;
    }
    const QList<QByteArray> first = request.left(request.indexOf("\r\n")).split(' ');
    const QUrl target(QString::fromLatin1(first.value(1)));
    const QUrlQuery query(target);
    if (first.value(0) != "GET" || target.path() != QLatin1String("/")
        || (!query.hasQueryItem(QStringLiteral("code")) && !query.hasQueryItem(QStringLiteral("error")))) {
        answerBrowser(socket, 404, QStringLiteral("Nothing here."));
        return;
    }
    if (m_answered || m_done) {
        answerBrowser(socket, 400, QStringLiteral("This sign-in is over."));
        return;
    }
    m_answered = true;
    // One shot: nothing more is taken.
    m_listener->close();
    if (query.queryItemValue(QStringLiteral("state")).toLatin1() != m_state) {
        answerBrowser(socket, 400, QStringLiteral("This answer does not belong to the sign-in Junkwarden started."));
        finish({}, QStringLiteral("the sign-in's answer did not carry its state"));
        return;
    }
    if (query.hasQueryItem(QStringLiteral("error"))) {
        const QString error = query.queryItemValue(QStringLiteral("error")).left(64);
        answerBrowser(socket, 400, QStringLiteral("The sign-in did not succeed (%1).").arg(error));
        finish({}, QStringLiteral("the sign-in was refused (%1)").arg(error));
        return;
    }
    const QByteArray code = query.queryItemValue(QStringLiteral("code"), QUrl::FullyDecoded).toUtf8();
    const QPointer<QTcpSocket> browser(socket);
    exchangeCode(*m_network, m_endpoints, code, redirectUri().toString(), m_verifier, this,
        [this, browser](const TokenOutcome &outcome) {
            if (browser) {
                answerBrowser(browser, outcome.grant ? 200 : 400,
                    outcome.grant ? QStringLiteral("Signed in. You may close this page.")
                                  : QStringLiteral("The sign-in did not succeed: %1.").arg(outcome.error));
            }
            finish(outcome.grant.value_or(TokenGrant()), outcome.grant ? QString() : outcome.error);
        });
}

void OAuthSignIn::finish(const TokenGrant &grant, const QString &error)
{
    if (m_done)
        return;
    m_done = true;
    m_limit->stop();
    m_listener->close();
    Q_EMIT finished(grant, error);
}

} // namespace jw
