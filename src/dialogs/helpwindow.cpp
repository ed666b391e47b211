// The program's own help window: HTML topics in the help folder, with a
// contents list, links between topics, Back and Close.
#include "dialogs/helpwindow.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QVBoxLayout>

#include <algorithm>

namespace jw {

namespace {

// The topics of the folder ("<number>.html") in number order, with the
// titles their pages give.
QList<QPair<int, QString>> helpTopics(const QString &folder)
{
    static const QRegularExpression title(QStringLiteral("<title>(.*?)</title>"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    QList<QPair<int, QString>> topics;
    const QStringList names = QDir(folder).entryList({QStringLiteral("*.html")}, QDir::Files);
    for (const QString &name : names) {
        bool number = false;
        const int context = name.chopped(5).toInt(&number);
        if (!number)
            continue;
        QFile file(folder + name);
        const QString head = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.read(4096)) : QString();
        const QRegularExpressionMatch match = title.match(head);
        topics.append({context, match.hasMatch() ? match.captured(1).trimmed() : name});
    }
    std::sort(topics.begin(), topics.end());
    return topics;
}

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
        if (!m_window)
            build();
        const QString page = QString::number(context) + QStringLiteral(".html");
        if (QFile::exists(m_folder + page))
            m_browser->setSource(QUrl(page));
        else
            m_browser->setPlainText(QStringLiteral("The help topic %1 is missing from %2.").arg(context).arg(m_folder));
        m_window->show();
        m_window->raise();
        m_window->activateWindow();
        // After showing: a list that gets the focus picks a row of its own.
        shown();
    }

    void quit() override
    {
        if (m_window && QCoreApplication::instance())
            m_window->close();
    }

private:
    void build()
    {
        m_window = new QDialog;
        m_window->setObjectName(QStringLiteral("HelpWindow"));
        m_window->setAttribute(Qt::WA_DeleteOnClose);
        m_window->resize(760, 540);
        m_contents = new QListWidget(m_window);
        m_contents->setObjectName(QStringLiteral("HelpContents"));
        m_contents->setMaximumWidth(220);
        for (const auto &[context, title] : helpTopics(m_folder)) {
            auto *item = new QListWidgetItem(title, m_contents);
            item->setData(Qt::UserRole, context);
        }
        m_browser = new QTextBrowser(m_window);
        m_browser->setObjectName(QStringLiteral("HelpBrowser"));
        // Links between topics open here; links out of the help go nowhere.
        m_browser->setOpenExternalLinks(false);
        m_browser->setSearchPaths({m_folder});
        m_back = new QPushButton(QStringLiteral("&Back"), m_window);
        m_back->setObjectName(QStringLiteral("HelpBack"));
        m_back->setEnabled(false);
        auto *close = new QPushButton(QStringLiteral("&Close"), m_window);
        close->setObjectName(QStringLiteral("HelpClose"));
        close->setDefault(true);

        auto *pages = new QHBoxLayout;
        pages->addWidget(m_contents);
        pages->addWidget(m_browser, 1);
        auto *buttons = new QHBoxLayout;
        buttons->addWidget(m_back);
        buttons->addStretch(1);
        buttons->addWidget(close);
        auto *layout = new QVBoxLayout(m_window);
        layout->addLayout(pages, 1);
        layout->addLayout(buttons);

        QObject::connect(m_contents, &QListWidget::itemActivated, m_window,
            [this](QListWidgetItem *item) { showTopic(item->data(Qt::UserRole).toInt()); });
        QObject::connect(m_contents, &QListWidget::itemClicked, m_window,
            [this](QListWidgetItem *item) { showTopic(item->data(Qt::UserRole).toInt()); });
        QObject::connect(m_browser, &QTextBrowser::sourceChanged, m_window, [this] { shown(); });
        QObject::connect(m_browser, &QTextBrowser::historyChanged, m_window, [this] { shown(); });
        QObject::connect(m_browser, &QTextBrowser::backwardAvailable, m_back, &QPushButton::setEnabled);
        QObject::connect(m_back, &QPushButton::clicked, m_browser, &QTextBrowser::backward);
        QObject::connect(close, &QPushButton::clicked, m_window, &QDialog::close);
    }

    // The title and the contents follow the page shown.
    void shown()
    {
        m_window->setWindowTitle(m_browser->documentTitle());
        const QString page = m_browser->source().fileName();
        for (int i = 0; i < m_contents->count(); ++i) {
            if (QString::number(m_contents->item(i)->data(Qt::UserRole).toInt()) + QStringLiteral(".html") == page) {
                const QSignalBlocker blocker(m_contents);
                m_contents->setCurrentRow(i);
            }
        }
    }

    QString m_folder;
    QPointer<QDialog> m_window;
    QListWidget *m_contents = nullptr;
    QTextBrowser *m_browser = nullptr;
    QPushButton *m_back = nullptr;
};

} // namespace

std::unique_ptr<HelpViewer> createHelpWindowViewer(const QString &helpFolder)
{
    return std::make_unique<HelpWindowViewer>(helpFolder);
}

} // namespace jw
