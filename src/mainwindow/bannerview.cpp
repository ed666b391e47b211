#include "mainwindow/bannerview.h"

#include "textfile/codec.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>

namespace jw {

namespace {

constexpr qint64 kMaxBannerBytes = 512 * 1024;

} // namespace

BannerView::BannerView(QWidget *parent)
    : SafeTextBrowser(parent)
    , m_network(new QNetworkAccessManager(this))
{
    setFrameStyle(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setCursor(Qt::PointingHandCursor);
    connect(this, &SafeTextBrowser::linkClicked, this, [this](const QString &target) { navigate(QUrl(target)); });
}

void BannerView::navigate(const QUrl &url)
{
    if (beforeNavigate && !beforeNavigate(url))
        return;
    load(url);
}

void BannerView::reload()
{
    if (m_current.isValid())
        load(m_current);
}

void BannerView::load(const QUrl &url)
{
    if (m_reply) {
        m_reply->abort();
        m_reply = nullptr;
    }
    m_current = url;
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply *reply = m_network->get(request);
    m_reply = reply;
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > kMaxBannerBytes)
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        reply->deleteLater();
        if (m_reply != reply)
            return; // replaced by a newer load
        m_reply = nullptr;
        const bool ok = reply->error() == QNetworkReply::NoError;
        if (ok)
            setHtml(decodeDisplay(reply->readAll()));
        Q_EMIT loadFinished(ok);
    });
}

} // namespace jw
