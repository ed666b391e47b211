#include "mainwindow/page.h"

namespace jw {

MainFormPage::MainFormPage(TMainForm &main, const char *name, QWidget *parent)
    : QWidget(parent)
    , m_main(main)
{
    setObjectName(QLatin1String(name));
}

} // namespace jw
