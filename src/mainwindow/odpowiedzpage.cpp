#include "mainwindow/odpowiedzpage.h"

#include "dialogs/mnemonics.h"
#include "mainwindow/mainform.h"
#include "mainwindow/pageicons.h"
#include "settings/languagetable.h"
#include "textfile/errors.h"
#include "ui_odpowiedzpage.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace jw {

OdpowiedzPage::OdpowiedzPage(TMainForm &main)
    : MainFormPage(main, "TabOdpowiedz")
{
    Ui::OdpowiedzPage layout;
    layout.setupUi(this);
    TabControl2 = layout.TabControl2;
    OdpowiedzTematLabel = layout.OdpowiedzTematLabel;
    OdpowiedzTematEdit = layout.OdpowiedzTematEdit;
    OdpowiedzMemo = layout.OdpowiedzMemo;
    OdpowiedzButtonZapisz = layout.OdpowiedzButtonZapisz;
    OdpowiedzButtonZapisz->setIcon(standardIcon(QStyle::SP_DialogSaveButton));

    connect(OdpowiedzTematEdit, &QLineEdit::textChanged, this, &OdpowiedzPage::OdpowiedzMemoChange);
    connect(OdpowiedzMemo, &QPlainTextEdit::textChanged, this, &OdpowiedzPage::OdpowiedzMemoChange);
    connect(OdpowiedzButtonZapisz, &QPushButton::clicked, this, [this] { OdpowiedzButtonZapiszClick(); });
}

void OdpowiedzPage::SetLanguage()
{
    const LanguageTable &language = m_main.language();
    OdpowiedzTematLabel->setText(language.text(keys::odpowiedzTematLabel));
    OdpowiedzButtonZapisz->setText(language.text(keys::zapisz));
    giveMnemonics({OdpowiedzButtonZapisz});
}

QString OdpowiedzPage::path() const
{
    return m_main.configFolder() + QLatin1String(kReplyFile);
}

void OdpowiedzPage::OdpowiedzCreate()
{
    const std::optional<ReplyMessage> reply = readReplyFile(path());
    if (!reply)
        return; // unreadable or empty: the fields stay as they are
    m_encoding = reply->encoding;
    m_loadedBody = reply->body;
    OdpowiedzMemo->setPlainText(reply->body.join(QLatin1Char('\n')));
    OdpowiedzTematEdit->setText(reply->subject);
}

void OdpowiedzPage::OdpowiedzMemoChange()
{
    m_main.UnsavedChanges = true;
}

bool OdpowiedzPage::OdpowiedzButtonZapiszClick()
{
    ReplyMessage reply;
    reply.encoding = m_encoding;
    reply.subject = OdpowiedzTematEdit->text();
    const QString body = OdpowiedzMemo->toPlainText();
    if (body == m_loadedBody.join(QLatin1Char('\n'))) {
        // Unchanged: every line read is written again, also a body of one
        // empty line, which the text field cannot tell from no body.
        reply.body = m_loadedBody;
    } else if (!body.isEmpty()) {
        // An empty body field holds no line, so the file is the subject alone.
        reply.body = body.split(QLatin1Char('\n'));
    }
    try {
        writeLines(path(), replyLines(reply));
    } catch (const FileError &e) {
        m_main.showError(e.message());
        return false;
    }
    m_main.UnsavedChanges = false;
    return true;
}

} // namespace jw
