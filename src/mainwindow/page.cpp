#include "mainwindow/page.h"

namespace jw {

MainFormPage::MainFormPage(TMainForm &main, const char *name, QWidget *parent)
    : QWidget(parent)
    , m_main(main)
{
    setObjectName(QLatin1String(name));
}

KwarantannaPage::KwarantannaPage(TMainForm &main)
    : MainFormPage(main, "TabKwarantanna")
{
}

MetodyPage::MetodyPage(TMainForm &main)
    : MainFormPage(main, "TabMetody")
{
}

KonfiguracjaPage::KonfiguracjaPage(TMainForm &main)
    : MainFormPage(main, "TabKonfiguracja")
{
}

} // namespace jw
