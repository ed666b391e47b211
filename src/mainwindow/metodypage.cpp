#include "mainwindow/metodypage.h"

#include "dialogs/mnemonics.h"
#include "formats/methodsfile.h"
#include "mainwindow/konfiguracjapage.h"
#include "mainwindow/mainform.h"
#include "mainwindow/pageicons.h"
#include "settings/keyvaluefile.h"
#include "settings/languagetable.h"
#include "textfile/errors.h"
#include "textfile/lines.h"
#include "ui_metodypage.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace jw {

namespace {

constexpr int kTwoStateMethods = 4;

Qt::CheckState checkStateOf(int state)
{
    return state == kMethodOn ? Qt::Checked : state == kMethodThird ? Qt::PartiallyChecked : Qt::Unchecked;
}

} // namespace

MetodyPage::MetodyPage(TMainForm &main)
    : MainFormPage(main, "TabMetody")
{
    Ui::MetodyPage layout;
    layout.setupUi(this);
    TabControl1 = layout.TabControl1;
    MetodyCheckListBox = layout.MetodyCheckListBox;
    MetodyButtonZapisz = layout.MetodyButtonZapisz;
    MetodyButtonZapisz->setIcon(standardIcon(QStyle::SP_DialogSaveButton));

    connect(MetodyCheckListBox, &QListWidget::itemChanged, this, [this] {
        if (m_filling)
            return;
        MetodyCheckListBoxClickCheck();
        MetodyCheckBoxChange();
    });
    connect(MetodyCheckListBox, &QListWidget::itemClicked, this, &MetodyPage::MetodyCheckBoxChange);
    connect(MetodyButtonZapisz, &QPushButton::clicked, this, [this] { MetodyButtonZapiszClick(); });
}

void MetodyPage::SetLanguage()
{
    MetodyButtonZapisz->setText(m_main.language().text(keys::zapisz));
    giveMnemonics({MetodyButtonZapisz});
}

void MetodyPage::appendMethod(int method, int state)
{
    auto *item = new QListWidgetItem(
        methodText(m_main.language().text(keys::method(method)), m_main.TabKonfiguracja->KonfiguracjaMaxTo->text()),
        MetodyCheckListBox);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsUserTristate);
    item->setCheckState(checkStateOf(state));
    if (state == kMethodThird)
        ++GrayedCount;
}

void MetodyPage::MetodyOnCreate()
{
    m_filling = true;
    QString error;
    MethodStates read;
    try {
        read = readMethodStates(
            KeyValueFile::load(m_main.configFolder() + QLatin1String(kMethodsFile)).lines(), keys::kMethodCount);
        error = read.error;
    } catch (const Error &e) {
        error = e.message();
    }
    for (int n = 0; n < read.states.size(); ++n)
        appendMethod(n, read.states[n]);
    // The methods that could not be read are listed as off, so that a save
    // always writes the whole file.
    for (int n = int(read.states.size()); n < keys::kMethodCount; ++n)
        appendMethod(n, kMethodOff);
    m_filling = false;
    if (!error.isEmpty())
        throw Error(error);
}

int MetodyPage::state(int method) const
{
    switch (MetodyCheckListBox->item(method)->checkState()) {
    case Qt::Checked:
        return kMethodOn;
    case Qt::PartiallyChecked:
        return kMethodThird;
    case Qt::Unchecked:
        break;
    }
    return kMethodOff;
}

bool MetodyPage::MetodyButtonZapiszClick()
{
    Lines lines;
    for (int n = 0; n < MetodyCheckListBox->count(); ++n)
        lines.append(methodLine(MetodyCheckListBox->item(n)->text(), state(n)));
    try {
        writeLines(m_main.configFolder() + QLatin1String(kMethodsFile), lines);
    } catch (const FileError &e) {
        m_main.showError(e.message());
        return false;
    }
    m_main.UnsavedChanges = false;
    m_main.control().restartProxy();
    return true;
}

void MetodyPage::MetodyCheckListBoxClickCheck()
{
    m_main.UnsavedChanges = true;
}

void MetodyPage::MetodyCheckBoxChange()
{
    const bool wasFilling = m_filling;
    m_filling = true;
    for (int n = 0; n < kTwoStateMethods && n < MetodyCheckListBox->count(); ++n) {
        if (MetodyCheckListBox->item(n)->checkState() == Qt::PartiallyChecked)
            MetodyCheckListBox->item(n)->setCheckState(Qt::Checked);
    }
    m_filling = wasFilling;
    int grayed = 0;
    for (int n = 0; n < MetodyCheckListBox->count(); ++n)
        grayed += MetodyCheckListBox->item(n)->checkState() == Qt::PartiallyChecked ? 1 : 0;
    if (grayed != GrayedCount) {
        m_main.UnsavedChanges = true;
        GrayedCount = grayed;
    }
}

} // namespace jw
