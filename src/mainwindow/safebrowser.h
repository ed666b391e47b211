#pragma once

#include <QTextBrowser>

namespace jw {

// An HTML view that fetches nothing: no network, no local file is opened for
// any image, style sheet or link; images become a blank pixel. Safe for
// hostile HTML (spam).
class SafeTextBrowser : public QTextBrowser
{
    Q_OBJECT
public:
    explicit SafeTextBrowser(QWidget *parent = nullptr);

    QVariant loadResource(int type, const QUrl &name) override;
    // How many resources the document asked for (all refused).
    int refusedResources() const { return m_refused; }

private:
    int m_refused = 0;
};

} // namespace jw
