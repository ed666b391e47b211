#include "mainwindow/mainform.h"

#include "tray/trayform.h"

namespace jw {

TMainForm::TMainForm(TTrayForm &tray, QWidget *parent)
    : QWidget(parent)
    , m_tray(tray)
{
    setObjectName(QStringLiteral("MainForm"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(m_tray.applicationTitle());
    resize(809, 569);
    setMinimumSize(809, 480);
}

} // namespace jw
