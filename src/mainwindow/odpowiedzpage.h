#pragma once

#include "formats/replyfile.h"
#include "mainwindow/page.h"

#include <QStringList>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace jw {

// The reply page: the subject and body of the automatic reply ("remessage").
class OdpowiedzPage : public MainFormPage
{
    Q_OBJECT
public:
    explicit OdpowiedzPage(TMainForm &main);

    QGroupBox *TabControl2 = nullptr;
    QLabel *OdpowiedzTematLabel = nullptr;
    QLineEdit *OdpowiedzTematEdit = nullptr;
    QPlainTextEdit *OdpowiedzMemo = nullptr;
    QPushButton *OdpowiedzButtonZapisz = nullptr;

    void OdpowiedzCreate();
    void OdpowiedzMemoChange();
    // False when the file could not be written (the error is shown).
    bool OdpowiedzButtonZapiszClick();
    void SetLanguage() override;
    int helpTopic() const override { return 5; }
    void load() override { OdpowiedzCreate(); }
    void save() override { OdpowiedzButtonZapiszClick(); }
    // Unsaved edits go: the page shows the file again.
    void discardEdits() override { OdpowiedzCreate(); }

private:
    QString path() const;
    TextEncoding m_encoding = TextEncoding::Utf8;
    QStringList m_loadedBody; // the body lines as last read from the file
};

} // namespace jw
