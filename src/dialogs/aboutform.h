#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class QWidget;

namespace jw {

class ClickLabel;
class LanguageTable;
class Shell;

// The about box: name and build, the product's web and support addresses,
// and the credits. One credit line hides a link opened with Shift+Ctrl+Alt.
class TAboutForm : public QDialog
{
    Q_OBJECT
public:
    // The build's version, the same the updater speaks of ("1.0.252").
    static constexpr int kMajor = JUNKWARDEN_VERSION_MAJOR;
    static constexpr int kMinor = JUNKWARDEN_VERSION_MINOR;
    static constexpr int kBuild = JUNKWARDEN_BUILD;
    static constexpr char kHiddenAddress[] = "http://www.junkwarden.example/team/";

    TAboutForm(const LanguageTable &language, Shell &shell, const QString &applicationTitle, QWidget *parent = nullptr);

    QWidget *Panel3 = nullptr;
    QLabel *Image3 = nullptr;
    QLabel *ProgramName = nullptr;
    QLabel *Label27 = nullptr;
    ClickLabel *Label28 = nullptr;
    QLabel *Prawa = nullptr;
    QLabel *Pomoc = nullptr;
    ClickLabel *Label2 = nullptr;
    QLabel *Label4 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Autorzy = nullptr;
    ClickLabel *Label32 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label30 = nullptr;
    QLabel *Grafika = nullptr;
    QLabel *Label34 = nullptr;
    QLabel *Testy = nullptr;
    QLabel *Label36 = nullptr;
    QLabel *Label37 = nullptr;
    QLabel *Label38 = nullptr;
    QLabel *Angielska = nullptr;
    QLabel *Label44 = nullptr;
    QLabel *Label45 = nullptr;
    QPushButton *OKButton = nullptr;

    void Label28Click();
    void Label2Click();
    void Label32MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers);

private:
    void FormCreate(const LanguageTable &language, const QString &applicationTitle);

    Shell &m_shell;
};

} // namespace jw
