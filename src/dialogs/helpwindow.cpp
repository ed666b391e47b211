// The program's own help window: HTML topics in the help folder.
#include "platform/helpviewer.h"

#include <QCoreApplication>
#include <QDialog>
#include <QFile>
#include <QPointer>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace jw {

namespace {

class HelpWindowViewer final : public HelpViewer
{
public:
    explicit HelpWindowViewer(QString folder)
        : m_folder(std::move(folder))
    {
    }
    ~HelpWindowViewer() override { quit(); }

    void showTopic(int context) override
    {
        if (!m_window) {
            m_window = new QDialog;
            m_window->setObjectName(QStringLiteral("HelpWindow"));
            m_window->setAttribute(Qt::WA_DeleteOnClose);
            m_window->resize(640, 520);
            auto *layout = new QVBoxLayout(m_window);
            m_browser = new QTextBrowser(m_window);
            m_browser->setOpenExternalLinks(false);
            m_browser->setSearchPaths({m_folder});
            layout->addWidget(m_browser);
        }
        const QString page = QString::number(context) + QStringLiteral(".html");
        if (QFile::exists(m_folder + page))
            m_browser->setSource(QUrl(page));
        else
            m_browser->setPlainText(QStringLiteral("The help topic %1 is missing from %2.").arg(context).arg(m_folder));
        m_window->setWindowTitle(m_browser->documentTitle());
        m_window->show();
        m_window->raise();
        m_window->activateWindow();
    }

    void quit() override
    {
        if (m_window && QCoreApplication::instance())
            m_window->close();
    }

private:
    QString m_folder;
    QPointer<QDialog> m_window;
    QTextBrowser *m_browser = nullptr;
};

} // namespace

std::unique_ptr<HelpViewer> createHelpWindowViewer(const QString &helpFolder)
{
    return std::make_unique<HelpWindowViewer>(helpFolder);
}

} // namespace jw
