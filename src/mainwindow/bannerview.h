#pragma once

#include "mainwindow/safebrowser.h"

#include <QUrl>

#include <functional>

class QNetworkAccessManager;
class QNetworkReply;

namespace jw {

// The banner strip: loads one web page over the network and shows it.
// Every navigation, the first included, is offered to `beforeNavigate`
// first; only the ones it accepts load here.
class BannerView : public SafeTextBrowser
{
    Q_OBJECT
public:
    explicit BannerView(QWidget *parent = nullptr);

    std::function<bool(const QUrl &)> beforeNavigate;

    void navigate(const QUrl &url);
    void reload();
    bool isBusy() const { return m_reply != nullptr; }
    QUrl currentUrl() const { return m_current; }

Q_SIGNALS:
    void loadFinished(bool ok);

private:
    void load(const QUrl &url);

    QNetworkAccessManager *m_network = nullptr;
    QNetworkReply *m_reply = nullptr;
    QUrl m_current;
};

} // namespace jw
