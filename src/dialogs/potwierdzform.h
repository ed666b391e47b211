#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace jw {

class LanguageTable;

// The program's one yes/no question. The caller sets the question into
// PotwierdzeniePanel, runs the dialog and takes 6 (yes); anything else
// counts as no.
class TPotwierdzForm : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kYes = 6;
    static constexpr int kNo = 7;

    TPotwierdzForm(const LanguageTable &language, const QString &caption, QWidget *parent = nullptr);

    QLabel *Image = nullptr;
    QLabel *PotwierdzeniePanel = nullptr;
    QPushButton *Tak = nullptr;
    QPushButton *Nie = nullptr;

    // Puts `question` and answers: true for yes.
    static bool ask(const LanguageTable &language, const QString &caption, const QString &question);

private:
    void FormCreate(const LanguageTable &language, const QString &caption);
};

} // namespace jw
