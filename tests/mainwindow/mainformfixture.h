#pragma once

#include "mainwindow/filterspage.h"
#include "mainwindow/mainform.h"
#include "mainwindow/odpowiedzpage.h"
#include "platform/helpviewer.h"
#include "platform/registry.h"
#include "support/trayfixture.h"
#include "tray/trayform.h"

#include <QApplication>
#include <QFile>
#include <QPointer>
#include <QTabWidget>

#include <gtest/gtest.h>
#include <memory>

namespace jw::test {

class FakeHelp final : public HelpViewer
{
public:
    void showTopic(int context) override { topics.append(context); }
    void quit() override { ++quits; }
    QList<int> topics;
    int quits = 0;
};

// The configuration window over a tray controller on doubles, in a scratch
// program folder with the English texts and the default settings.
class MainFormFixture : public TrayFixture
{
protected:
    static constexpr char kMainCfg[] = "server_port=1110\r\nmy_pin=1234\r\nlast_tab_seen=0\r\n";

    void SetUp() override
    {
        TrayFixture::SetUp();
        QFile::copy(sourcePath(QStringLiteral("resources/config/methods.cfg")), config(QStringLiteral("methods.cfg")));
        writeFile(config(QStringLiteral("main.cfg")), kMainCfg);
        makeTray();
    }

    void TearDown() override
    {
        delete form.data();
        tray.reset();
    }

    TMainForm &open(const QUrl &banner = QUrl())
    {
        form = new TMainForm(*tray, MainWindowServices{help, registry, autostart, banner});
        form->show();
        return *form;
    }

    // Closes the window as the user does; it is destroyed afterwards.
    void closeWindow()
    {
        form->close();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void switchPage(int page) { form->MainPageControl->setCurrentIndex(page); }

    QString config(const QString &name) const { return folder.configPath() + name; }
    QByteArray configFile(const char *name) const { return readFile(config(QLatin1String(name))); }

    FakeHelp help;
    MemoryRegistry registry;
    FakeAutostart autostart;
    QPointer<TMainForm> form;
};

} // namespace jw::test
