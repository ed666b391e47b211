#include "update/updateform.h"

#include "dialogs/mnemonics.h"
#include "platform/prompts.h"
#include "settings/keyvaluefile.h"
#include "settings/languagetable.h"
#include "settings/settingsfile.h"
#include "settings/settingskeys.h"
#include "settings/textkeys.h"
#include "textfile/errors.h"
#include "textfile/lines.h"
#include "update/updatestatus.h"
#include "ui_updateform.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

namespace jw {

TUpdateForm::TUpdateForm(const WindowContext &context, const QString &caption, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint)
    , m_context(context)
{
    Ui::TUpdateForm layout;
    layout.setupUi(this);
    LabelUpdate = layout.LabelUpdate;
    ProgressBar = layout.ProgressBar;
    button = layout.button;
    connect(button, &QPushButton::clicked, this, &TUpdateForm::buttonClick);
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(kPollMs);
    connect(Timer1, &QTimer::timeout, this, &TUpdateForm::Timer1Timer);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    FormCreate(caption);
    Timer1->start();
}

void TUpdateForm::FormCreate(const QString &caption)
{
    // Titled as what it is: "Junkwarden – Update progress".
    QString what = m_context.language.text(keys::updatePostep).trimmed();
    if (what.endsWith(QLatin1Char(':')))
        what.chop(1);
    setWindowTitle(what.isEmpty() ? caption : caption + QStringLiteral(" \u2013 ") + what);
    LabelUpdate->setText(m_context.language.text(keys::updatePostep));
    button->setText(m_context.language.text(keys::updateStop));
    giveMnemonics({button});
    m_polls = 0;
}

void TUpdateForm::reject()
{
    // There is no close box; Escape does what the button does.
    buttonClick();
}

void TUpdateForm::Timer1Timer()
{
    ++m_polls;
    const QString path = m_context.program.updateStatusFilePath();
    if (QFileInfo::exists(path)) {
        const std::optional<Lines> lines = readHeadLines(path, LineRule::CrBreakSubEnds, 1);
        const UpdateStatus status = UpdateStatus::parse(lines ? lines->value(0) : QByteArray());
        switch (status.kind) {
        case UpdateStatus::Nothing:
            // Empty, unreadable or half written: nothing to report yet, and
            // no time-out on this poll.
            return;
        case UpdateStatus::Progress:
            ProgressBar->setValue(status.percent);
            break;
        case UpdateStatus::Done:
            finish();
            ProgressBar->setValue(100);
            m_context.prompts.information(m_context.language.text(keys::updateOk));
            return;
        case UpdateStatus::NoConnection:
            finish();
            m_context.prompts.information(m_context.language.text(keys::updateBrakPolaczenia));
            return;
        case UpdateStatus::NotAuthorised:
            finish();
            m_context.prompts.information(m_context.language.text(keys::updateBrakAutoryzacji));
            return;
        case UpdateStatus::NewVersion:
            finish();
            ProgressBar->setValue(100);
            m_context.prompts.information(m_context.language.text(keys::updateOk));
            recordVersion(status.version);
            return;
        }
    }
    // The updater ended without a final line.
    if (m_polls > kPollsBeforeTimeOut && Timer1->isActive() && m_context.program.updaterStarted()
        && !m_context.program.updaterRunning()) {
        finish();
        m_context.prompts.information(m_context.language.text(keys::updateBrakPolaczenia));
    }
}

void TUpdateForm::finish()
{
    Timer1->stop();
    if (m_stopMode)
        buttonClick();
}

void TUpdateForm::buttonClick()
{
    if (m_stopMode) {
        m_context.program.StopUpdate();
        Timer1->stop();
        m_stopMode = false;
        button->setText(m_context.language.text(keys::updateClose));
        giveMnemonics({button});
        return;
    }
    done(QDialog::Accepted);
}

void TUpdateForm::recordVersion(const QString &version)
{
    try {
        KeyValueFile settings = settingsfile::load(m_context.configFolder);
        settings.setText(settingskeys::kUpdateVersion, version);
        settingsfile::save(m_context.configFolder, settings);
    } catch (const Error &e) {
        m_context.prompts.error(e.message());
    }
}

} // namespace jw
