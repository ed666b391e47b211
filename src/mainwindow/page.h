#pragma once

#include <QWidget>

namespace jw {

class TMainForm;

// A page of the configuration window. Pages mark edits in the window's one
// UnsavedChanges flag and show their errors through the window.
class MainFormPage : public QWidget
{
    Q_OBJECT
public:
    MainFormPage(TMainForm &main, const char *name, QWidget *parent = nullptr);

protected:
    TMainForm &m_main;
};

} // namespace jw
