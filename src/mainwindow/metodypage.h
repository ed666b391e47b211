#pragma once

#include "mainwindow/page.h"

class QGroupBox;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace jw {

// The filter methods page: each of the 61 methods on, off or in the third
// state, written to "methods.cfg".
class MetodyPage : public MainFormPage
{
    Q_OBJECT
public:
    explicit MetodyPage(TMainForm &main);

    QGroupBox *TabControl1 = nullptr;
    QListWidget *MetodyCheckListBox = nullptr;
    QPushButton *MetodyButtonZapisz = nullptr;
    int GrayedCount = 0;

    // Throws the program's errors: a file or a line that cannot be read
    // stops the loading there.
    void MetodyOnCreate();
    // False when the file could not be written (the error is shown).
    bool MetodyButtonZapiszClick();
    void MetodyCheckListBoxClickCheck();
    void MetodyCheckBoxChange();
    void SetLanguage() override;
    int helpTopic() const override { return 4; }
    void load() override { MetodyOnCreate(); }
    void save() override { MetodyButtonZapiszClick(); }

    // The methods' states: 0 off, 1 on, 2 third state.
    int state(int method) const;

private:
    void appendMethod(int method, int state);
    bool m_filling = false;
};

} // namespace jw
