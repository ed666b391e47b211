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

Q_SIGNALS:
    // The target of a link exactly as the document writes it.
    void linkHovered(const QString &target); // empty when the pointer leaves it
    void linkClicked(const QString &target);

protected:
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    int m_refused = 0;
    QString m_hovered;
};

} // namespace jw
