#pragma once

#include "tray/programcontrol.h"

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace jw {

// Follows one run of the updater through "status-update": progress, the
// outcome in a message box, the new version recorded in "main.cfg", and a
// button that stops the updater and then closes the window.
class TUpdateForm : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kPollMs = 100;
    static constexpr int kPollsBeforeTimeOut = 50;

    TUpdateForm(const WindowContext &context, const QString &caption, QWidget *parent = nullptr);

    QLabel *LabelUpdate = nullptr;
    QProgressBar *ProgressBar = nullptr;
    QPushButton *button = nullptr;
    QTimer *Timer1 = nullptr;

    void Timer1Timer();
    void buttonClick();
    void reject() override;

    bool stopMode() const { return m_stopMode; }
    int polls() const { return m_polls; }

private:
    void FormCreate(const QString &caption);
    // Stops the poll and leaves the button offering to close.
    void finish();
    void recordVersion(const QString &version);

    WindowContext m_context;
    bool m_stopMode = true;
    int m_polls = 0;
};

} // namespace jw
