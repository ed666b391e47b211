#pragma once

#include <QWidget>

namespace jw {

class TMainForm;

// A page of the configuration window. Pages mark edits in the window's one
// UnsavedChanges flag and show their errors through the window, which
// reaches every page through this contract alone.
class MainFormPage : public QWidget
{
    Q_OBJECT
public:
    MainFormPage(TMainForm &main, const char *name, QWidget *parent = nullptr);

    // Captions from the language table.
    virtual void SetLanguage() = 0;
    // The help page shown for this page.
    virtual int helpTopic() const = 0;
    // Reads the page's files when the window is created; throws Error.
    virtual void load() { }
    // Saves the page's edits when the user leaves it; throws Error. Asked
    // first, unless the page saves without asking.
    virtual void save() { }
    virtual bool savesWithoutAsking() const { return false; }
    // The user chose not to save.
    virtual void discardEdits() { }
    // The page has become the one shown.
    virtual void shown() { }

protected:
    TMainForm &m_main;
};

} // namespace jw
