#pragma once

#include <QWidget>

namespace jw {

class TTrayForm;

// The configuration window.
class TMainForm : public QWidget
{
    Q_OBJECT
public:
    explicit TMainForm(TTrayForm &tray, QWidget *parent = nullptr);

private:
    TTrayForm &m_tray;
};

} // namespace jw
