// The settings page's account list: the accounts of every source with their
// icons, editing in place, the pop-up menu, and saving the rows to the
// account store and the mail programs' files.
#include "accounts/accounts.h"
#include "accounts/mailclientsource.h"
#include "accounts/mailrouting.h"
#include "accounts/thunderbirdsource.h"
#include "dialogs/clicklabel.h"
#include "dialogs/mnemonics.h"
#include "dialogs/paintedicon.h"
#include "mainwindow/accountsignin.h"
#include "mainwindow/inplaceeditor.h"
#include "mainwindow/konfiguracjapage.h"
#include "mainwindow/mainform.h"
#include "mainwindow/oauthsettingsdialog.h"
#include "mainwindow/pageicons.h"
#include "platform/autostart.h"
#include "platform/helpviewer.h"
#include "platform/prompts.h"
#include "platform/registry.h"
#include "settings/keyvaluefile.h"
#include "settings/languagetable.h"
#include "settings/settingsfile.h"
#include "settings/settingskeys.h"
#include "textfile/errors.h"
#include "tray/trayform.h"
#include "tray/trayicons.h"
#include "update/updateform.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSet>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace jw {

namespace {

// The mail programs after the store's sources, in the order of their icons.
const QStringList &clientSourceNames()
{
    static const QStringList names = [] {
        QStringList found;
        for (const auto &source : mailClientSources({}))
            found.append(source->name());
        return found;
    }();
    return names;
}

// The source icons: an envelope for each mail client (blue, orange; teal
// for Thunderbird, red for Claws Mail, violet for Evolution) and the
// program's own emblem for its own accounts.
QIcon sourceIcon(int source)
{
    if (source == 2)
        return trayStateIcon(TTrayForm::Waiting);
    static const QColor colours[] = {QColor(0x2f, 0x6e, 0xc8), QColor(0xe8, 0x7a, 0x10), QColor(),
        QColor(0x1b, 0x8a, 0x8f), QColor(0xb8, 0x2e, 0x2e), QColor(0x6a, 0x4c, 0x9c)};
    const QColor colour = colours[source];
    return paintedIcon(QSizeF(16, 16), [colour](QPainter &p) {
        p.setPen(QPen(colour.darker(150), 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(1.5, 3.5, 13, 9));
        p.setBrush(colour);
        QPainterPath flap;
        flap.moveTo(1.5, 3.5);
        flap.lineTo(8, 9);
        flap.lineTo(14.5, 3.5);
        flap.closeSubpath();
        p.drawPath(flap);
    });
}

int sourceIndex(const QString &source)
{
    const QList<AccountSource> &sources = accountSources();
    for (int i = 0; i < sources.size(); ++i) {
        if (sources[i].name == source)
            return i;
    }
    const qsizetype client = clientSourceNames().indexOf(source);
    return client < 0 ? -1 : int(sources.size() + client);
}

// What a mail program's files that are left as they are say.
QString sourceProblemText(const QString &source, const QString &problem, const LanguageTable &t)
{
    if (isThunderbird(source))
        return t.text(keys::tbProfil).replace(QStringLiteral("%1"), problem);
    return t.text(keys::klientProblem).replace(QStringLiteral("%2"), source).replace(QStringLiteral("%1"), problem);
}

// Why a row's account cannot be filtered, as its tip says it.
QString blockedText(const AccountRow &row, const LanguageTable &t)
{
    switch (row.blocked) {
    case AccountRow::Blocked::None:
        return {};
    case AccountRow::Blocked::Login:
        return t.text(isThunderbird(row.source) ? keys::tbLogowanie : keys::klientLogowanie);
    case AccountRow::Blocked::Comma:
        return t.text(keys::tbPrzecinek);
    case AccountRow::Blocked::Collision:
        return t.text(keys::tbKolizja);
    case AccountRow::Blocked::Profile:
        return sourceProblemText(row.source, row.blockedDetail, t);
    }
    return {};
}

} // namespace

void KonfiguracjaPage::buildAccountList()
{
    KonfiguracjaKonta->setColumnCount(6);
    KonfiguracjaKonta->setHeaderLabels({QString(), QStringLiteral("Nazwa"), QStringLiteral("Konto"),
        QStringLiteral("Uzytkownik"), QStringLiteral("Haslo"), QString()});
    const int widths[] = {40, 250, 150, 150, 150, 1};
    for (int c = 0; c < 6; ++c)
        KonfiguracjaKonta->setColumnWidth(c, widths[c]);
    KonfiguracjaKonta->header()->setSectionResizeMode(ColumnCheck, QHeaderView::Fixed);
    KonfiguracjaKonta->setColumnHidden(ColumnSource, true);
    KonfiguracjaKonta->viewport()->installEventFilter(this);

    KonfiguracjaTempEdit = new InPlaceEditor(KonfiguracjaKonta->viewport());
    KonfiguracjaTempEdit->setObjectName(QStringLiteral("KonfiguracjaTempEdit"));
    connect(KonfiguracjaTempEdit, &InPlaceEditor::committed, this, [this](const QString &text, bool byEnter) {
        onEditCommitted(text);
        if (byEnter)
            KonfiguracjaKonta->setFocus();
    });

    KonfiguracjaKontaPanel = new QWidget(KonfiguracjaKonta);
    KonfiguracjaKontaPanel->setObjectName(QStringLiteral("KonfiguracjaKontaPanel"));
    KonfiguracjaKontaPanel->setAutoFillBackground(true);
    KonfiguracjaKontaPanel->setContextMenuPolicy(Qt::CustomContextMenu);
    KonfiguracjaKontaPanel->hide();
    QFont big = font();
    big.setPixelSize(15);
    KonfiguracjaKontaNieMa1 = new QLabel(KonfiguracjaKontaPanel);
    KonfiguracjaKontaNieMa1->setObjectName(QStringLiteral("KonfiguracjaKontaNieMa1"));
    KonfiguracjaKontaNieMa2 = new QLabel(KonfiguracjaKontaPanel);
    KonfiguracjaKontaNieMa2->setObjectName(QStringLiteral("KonfiguracjaKontaNieMa2"));
    KonfiguracjaKontaNieMa3 = new ClickLabel(KonfiguracjaKontaPanel);
    KonfiguracjaKontaNieMa3->setObjectName(QStringLiteral("KonfiguracjaKontaNieMa3"));
    for (QLabel *label :
        {KonfiguracjaKontaNieMa1, KonfiguracjaKontaNieMa2, static_cast<QLabel *>(KonfiguracjaKontaNieMa3)}) {
        label->setFont(big);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignHCenter);
    }
    QFont link = big;
    link.setBold(true);
    KonfiguracjaKontaNieMa3->setFont(link);
    setLabelColor(KonfiguracjaKontaNieMa3, Qt::blue);
    KonfiguracjaKontaNieMa3->setCursor(Qt::PointingHandCursor);
    // One line each: together they are wider than the list in some languages.
    auto *panelLayout = new QVBoxLayout(KonfiguracjaKontaPanel);
    panelLayout->addStretch();
    panelLayout->addWidget(KonfiguracjaKontaNieMa1);
    panelLayout->addWidget(KonfiguracjaKontaNieMa2);
    panelLayout->addWidget(KonfiguracjaKontaNieMa3, 0, Qt::AlignHCenter);
    panelLayout->addStretch();

    KonfiguracjaPopupMenu = new QMenu(this);
    KonfiguracjaPopupMenu->setObjectName(QStringLiteral("KonfiguracjaPopupMenu"));
    KonfiguracjaPopupDodajkonto = KonfiguracjaPopupMenu->addAction(QStringLiteral("Dodaj konto"));
    KonfiguracjaPopupDodajkonto->setObjectName(QStringLiteral("KonfiguracjaPopupDodajkonto"));
    KonfiguracjaPopupUsunkonto = KonfiguracjaPopupMenu->addAction(QStringLiteral("Usun konto"));
    KonfiguracjaPopupUsunkonto->setObjectName(QStringLiteral("KonfiguracjaPopupUsunkonto"));
    KonfiguracjaPopupUsunkonto->setEnabled(false);
    KonfiguracjaPopupUstawhaslo = KonfiguracjaPopupMenu->addAction(QStringLiteral("Ustaw haslo"));
    KonfiguracjaPopupUstawhaslo->setObjectName(QStringLiteral("KonfiguracjaPopupUstawhaslo"));
    KonfiguracjaPopupMenu->addSeparator();
    KonfiguracjaPopupZalogujMicrosoft = KonfiguracjaPopupMenu->addAction(QStringLiteral("Zaloguj przez Microsoft"));
    KonfiguracjaPopupZalogujMicrosoft->setObjectName(QStringLiteral("KonfiguracjaPopupZalogujMicrosoft"));
    KonfiguracjaPopupZalogujGoogle = KonfiguracjaPopupMenu->addAction(QStringLiteral("Zaloguj przez Google"));
    KonfiguracjaPopupZalogujGoogle->setObjectName(QStringLiteral("KonfiguracjaPopupZalogujGoogle"));
    KonfiguracjaPopupZalogujInny = KonfiguracjaPopupMenu->addAction(QStringLiteral("Zaloguj przez innego"));
    KonfiguracjaPopupZalogujInny->setObjectName(QStringLiteral("KonfiguracjaPopupZalogujInny"));
    KonfiguracjaPopupHaslo = KonfiguracjaPopupMenu->addAction(QStringLiteral("Loguj haslem"));
    KonfiguracjaPopupHaslo->setObjectName(QStringLiteral("KonfiguracjaPopupHaslo"));

    auto popup = [this](QWidget *owner) {
        return [this, owner](const QPoint &at) {
            KonfiguracjaPopupMenuPopup();
            KonfiguracjaPopupMenu->popup(owner->mapToGlobal(at));
        };
    };
    connect(KonfiguracjaKonta, &QWidget::customContextMenuRequested, this, popup(KonfiguracjaKonta));
    connect(KonfiguracjaKontaPanel, &QWidget::customContextMenuRequested, this, popup(KonfiguracjaKontaPanel));
    connect(KonfiguracjaPopupDodajkonto, &QAction::triggered, this,
        [this] { guarded([this] { KonfiguracjaPopupDodajkontoClick(); }); });
    connect(KonfiguracjaPopupUsunkonto, &QAction::triggered, this,
        [this] { guarded([this] { KonfiguracjaPopupUsunkontoClick(); }); });
    connect(
        KonfiguracjaPopupUstawhaslo, &QAction::triggered, this, &KonfiguracjaPage::KonfiguracjaPopupUstawhasloClick);
    connect(KonfiguracjaPopupZalogujMicrosoft, &QAction::triggered, this,
        [this] { guarded([this] { signInSelected(QStringLiteral("microsoft")); }); });
    connect(KonfiguracjaPopupZalogujGoogle, &QAction::triggered, this,
        [this] { guarded([this] { signInSelected(QStringLiteral("google")); }); });
    connect(KonfiguracjaPopupZalogujInny, &QAction::triggered, this,
        [this] { guarded([this] { signInSelected(QStringLiteral("generic")); }); });
    connect(
        KonfiguracjaPopupHaslo, &QAction::triggered, this, [this] { guarded([this] { signInSelected(QString()); }); });
    connect(KonfiguracjaKonta, &QTreeWidget::itemChanged, this, &KonfiguracjaPage::KonfiguracjaKontaChange);
    connect(KonfiguracjaKonta, &QTreeWidget::itemClicked, this, &KonfiguracjaPage::KonfiguracjaKontaClick);
    connect(KonfiguracjaKonta, &QTreeWidget::itemDoubleClicked, this,
        [this](QTreeWidgetItem *, int column) { KonfiguracjaKontaDblClick(column); });
    connect(KonfiguracjaKontaNieMa3, &ClickLabel::clicked, this, &KonfiguracjaPage::KonfiguracjaKontaNieMa3Click);
}

void KonfiguracjaPage::KonfiguracjaButtonSzukajClick()
{
    KonfiguracjaKonta->setUpdatesEnabled(false);
    KonfiguracjaKonta->clear();
    m_rows.clear();
    const AccountSearch search =
        changeRegistry(m_main.registry(), [](RegistryData &store) { return findAccounts(store); });
    for (const AccountRow &row : search.rows)
        addRowItem(row);
    for (const auto &source : mailClientSources(clientPlaces())) {
        for (const AccountRow &row : source->find(KonfiguracjaPort->text().toInt()))
            addRowItem(row);
    }
    KonfiguracjaKonta->setUpdatesEnabled(true);
    m_routedSaved.clear();
    for (const AccountRow &row : std::as_const(m_rows)) {
        if (row.routed)
            m_routedSaved.insert(row.key);
    }
    if (m_rows.isEmpty())
        showNoAccountsPanel();
    if (!search.error.isEmpty())
        throw RegistryError(search.error);
}

ClientPlaces KonfiguracjaPage::clientPlaces() const
{
    return {QDir::homePath(), stateFolderOf(m_main.configFolder())};
}

void KonfiguracjaPage::saveAccounts()
{
    const ClientPlaces places = clientPlaces();
    const auto sources = mailClientSources(places);
    QList<AccountRow> storeRows;
    for (const AccountRow &row : std::as_const(m_rows)) {
        if (!sourceNamed(sources, row.source))
            storeRows.append(row);
    }
    const QStringList unroutable = changeRegistry(m_main.registry(), [this, &storeRows](RegistryData &store) {
        return saveAccountRows(store, storeRows, KonfiguracjaPort->text(), m_main.control().filterActive());
    });
    const int port = KonfiguracjaPort->text().toInt();
    const bool filterOn = m_main.control().filterActive();
    QStringList problems;
    QStringList waitingPrograms;
    for (const auto &source : sources) {
        QList<AccountRow> sourceRows;
        for (const AccountRow &row : std::as_const(m_rows)) {
            if (row.source == source->name())
                sourceRows.append(row);
        }
        if (sourceRows.isEmpty())
            continue;
        const ClientChange change = source->save(sourceRows, port, filterOn);
        for (const QString &problem : change.unreadable + change.refused)
            problems.append(sourceProblemText(source->name(), problem, m_main.language()));
        if (!change.waiting.isEmpty())
            waitingPrograms.append(source->name());
        // A place the program runs on gets its change once it has closed.
        for (const QString &place : change.waiting) {
            QList<AccountRow> rows;
            bool routes = false;
            for (const AccountRow &row : std::as_const(sourceRows)) {
                if (source->placeOf(row) == place) {
                    rows.append(row);
                    routes = routes || (row.routed && filterOn);
                }
            }
            m_main.control().mailRouting().whenClientCloses(place,
                routes ? MailRouting::Waiting::ToRoute : MailRouting::Waiting::ToRestore,
                [rows, port, filterOn, places, name = source->name()] {
                    const auto later = mailClientSources(places);
                    const MailClientSource *same = sourceNamed(later, name);
                    return !same || same->save(rows, port, filterOn).waiting.isEmpty();
                });
        }
    }
    m_main.UnsavedChanges = false;
    tellRoutingChanges(filterOn);
    const LanguageTable &t = m_main.language();
    for (const QString &name : unroutable)
        m_main.prompts().information(t.text(keys::kontoPrzecinek).replace(QStringLiteral("%1"), name));
    for (const QString &program : std::as_const(waitingPrograms)) {
        m_main.prompts().information(isThunderbird(program)
                ? t.text(keys::tbDziala)
                : t.text(keys::klientDziala).replace(QStringLiteral("%1"), program));
    }
    for (const QString &problem : std::as_const(problems))
        m_main.prompts().information(problem);
}

void KonfiguracjaPage::tellRoutingChanges(bool filterOn)
{
    // Which accounts the save pointed at the filter or back: said on the
    // window's status bar, with the password Thunderbird will ask for once
    // (its user name changes to "name,server").
    QStringList routed;
    QStringList restored;
    QString thunderbirdUser;
    QSet<QString> now;
    for (const AccountRow &row : std::as_const(m_rows)) {
        const bool before = m_routedSaved.contains(row.key);
        if (!row.routed) {
            if (before)
                restored.append(row.name);
            continue;
        }
        now.insert(row.key);
        if (!before && row.blocked == AccountRow::Blocked::None) {
            routed.append(row.name);
            if (isThunderbird(row.source) && thunderbirdUser.isEmpty())
                thunderbirdUser = row.user + QLatin1Char(',') + row.server;
        }
    }
    m_routedSaved = now;
    const LanguageTable &language = m_main.language();
    QString told;
    if (!routed.isEmpty() && filterOn) {
        told = language.text(keys::kontoPrzekierowane).replace(QStringLiteral("%1"), routed.join(QStringLiteral(", ")));
        if (!thunderbirdUser.isEmpty())
            told += QLatin1Char(' ') + language.text(keys::kontoTbHaslo).replace(QStringLiteral("%1"), thunderbirdUser);
    } else if (!restored.isEmpty()) {
        told = language.text(keys::kontoOdlaczone).replace(QStringLiteral("%1"), restored.join(QStringLiteral(", ")));
    }
    if (!told.isEmpty())
        m_main.setStatusText(told);
}

void KonfiguracjaPage::addRowItem(const AccountRow &row)
{
    const QSignalBlocker blocker(KonfiguracjaKonta);
    auto *item = new QTreeWidgetItem(KonfiguracjaKonta);
    // An account that cannot be filtered is greyed, its tip says why.
    const bool blocked = row.blocked != AccountRow::Blocked::None;
    item->setFlags(blocked ? Qt::ItemIsSelectable : Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(ColumnCheck, row.routed ? Qt::Checked : Qt::Unchecked);
    if (blocked) {
        const QString tip = blockedText(row, m_main.language());
        for (int column = 0; column < ColumnSource; ++column)
            item->setToolTip(column, tip);
    }
    const int source = sourceIndex(row.source);
    if (source >= 0)
        item->setIcon(ColumnCheck, sourceIcon(source));
    item->setText(ColumnName, row.name);
    item->setText(ColumnServer, row.server);
    item->setText(ColumnUser, row.user);
    item->setText(ColumnPassword, row.passwordMask);
    item->setText(ColumnSource, row.source);
    m_rows.append(row);
}

void KonfiguracjaPage::showNoAccountsPanel()
{
    const LanguageTable &t = m_main.language();
    KonfiguracjaKontaNieMa1->setText(t.text(keys::nieMaKont1));
    KonfiguracjaKontaNieMa2->setText(t.text(keys::nieMaKont2));
    KonfiguracjaKontaNieMa3->setText(t.text(keys::nieMaKont3));
    placeNoAccountsPanel();
    KonfiguracjaKontaPanel->show();
    KonfiguracjaKontaPanel->raise();
}

void KonfiguracjaPage::placeNoAccountsPanel()
{
    KonfiguracjaKontaPanel->setGeometry(KonfiguracjaKonta->viewport()->geometry());
}

void KonfiguracjaPage::KonfiguracjaKontaNieMa3Click()
{
    m_main.help().showTopic(0);
}

int KonfiguracjaPage::selectedRow() const
{
    const QList<QTreeWidgetItem *> selected = KonfiguracjaKonta->selectedItems();
    return selected.isEmpty() ? -1 : KonfiguracjaKonta->indexOfTopLevelItem(selected.first());
}

void KonfiguracjaPage::KonfiguracjaKontaChange(QTreeWidgetItem *item, int column)
{
    if (column != ColumnCheck)
        return;
    const int row = KonfiguracjaKonta->indexOfTopLevelItem(item);
    if (row < 0 || row >= m_rows.size())
        return;
    const bool routed = item->checkState(ColumnCheck) == Qt::Checked;
    if (routed != m_rows[row].routed) {
        m_rows[row].routed = routed;
        m_main.UnsavedChanges = true;
    }
}

void KonfiguracjaPage::KonfiguracjaKontaClick()
{
    if (QTreeWidgetItem *item = KonfiguracjaKonta->currentItem())
        KonfiguracjaKonta->scrollToItem(item);
}

void KonfiguracjaPage::KonfiguracjaKontaDblClick(int column)
{
    const int row = selectedRow();
    if (row < 0 || column == ColumnCheck || column > ColumnPassword)
        return;
    openEditor(row, column);
}

bool KonfiguracjaPage::editableRow(int row) const
{
    // The mail programs keep their accounts and passwords themselves.
    return row >= 0 && row < m_rows.size() && isStoreSource(m_rows[row].source);
}

void KonfiguracjaPage::openEditor(int row, int column)
{
    if (!editableRow(row))
        return;
    QTreeWidgetItem *item = KonfiguracjaKonta->topLevelItem(row);
    QRect cell = KonfiguracjaKonta->visualItemRect(item);
    const int left = KonfiguracjaKonta->header()->sectionViewportPosition(column);
    cell.setLeft(left);
    // The password editor runs to the row's end; the others cover their cell.
    cell.setWidth(column == ColumnPassword ? KonfiguracjaKonta->viewport()->width() - left
                                           : KonfiguracjaKonta->columnWidth(column));
    m_editRow = row;
    m_editColumn = column;
    const bool password = column == ColumnPassword;
    KonfiguracjaTempEdit->setEchoMode(password ? QLineEdit::Password : QLineEdit::Normal);
    KonfiguracjaTempEdit->open(cell, password ? QString() : item->text(column));
    m_main.UnsavedChanges = true;
}

void KonfiguracjaPage::onEditCommitted(const QString &text)
{
    const int row = m_editRow;
    const int column = m_editColumn;
    m_editRow = -1;
    if (row < 0 || row >= m_rows.size())
        return;
    QTreeWidgetItem *item = KonfiguracjaKonta->topLevelItem(row);
    AccountRow &account = m_rows[row];
    switch (column) {
    case ColumnPassword:
        guarded([&] {
            changeRegistry(m_main.registry(), [&](RegistryData &store) { setAccountPassword(store, account, text); });
            account.passwordMask = QString(text.size(), QLatin1Char('*'));
            item->setText(ColumnPassword, account.passwordMask);
        });
        break;
    case ColumnName:
        account.name = text;
        break;
    case ColumnServer:
        account.server = text;
        break;
    case ColumnUser:
        account.user = text;
        if (!userNameCanBeRouted(text))
            m_main.prompts().information(
                m_main.language().text(keys::kontoPrzecinek).replace(QStringLiteral("%1"), account.name));
        break;
    default:
        return;
    }
    if (column != ColumnPassword)
        item->setText(column, text);
}

void KonfiguracjaPage::KonfiguracjaPopupMenuPopup()
{
    const int row = selectedRow();
    if (row >= 0) {
        KonfiguracjaPopupUsunkonto->setEnabled(m_rows[row].source == ownAccountSource().name);
        // Thunderbird names its provider by the server; only the store keeps
        // addresses. Claws Mail and Evolution sign in themselves or not at all.
        const QString &source = m_rows[row].source;
        KonfiguracjaPopupZalogujInny->setEnabled(isStoreSource(source));
        for (QAction *item :
            {KonfiguracjaPopupZalogujMicrosoft, KonfiguracjaPopupZalogujGoogle, KonfiguracjaPopupHaslo})
            item->setEnabled(isStoreSource(source) || isThunderbird(source));
    }
}

void KonfiguracjaPage::KonfiguracjaPopupDodajkontoClick()
{
    const AccountRow row = changeRegistry(m_main.registry(), [](RegistryData &store) { return addOwnAccount(store); });
    addRowItem(row);
    KonfiguracjaKontaPanel->hide();
}

void KonfiguracjaPage::KonfiguracjaPopupUsunkontoClick()
{
    const int row = selectedRow();
    if (row < 0)
        return;
    if (!m_main.prompts().question(m_main.language().text(keys::potwierdzUsun), m_main.windowTitle()))
        return;
    const AccountRow account = m_rows[row];
    changeRegistry(m_main.registry(), [&account](RegistryData &store) { deleteAccount(store, account); });
    delete KonfiguracjaKonta->takeTopLevelItem(row);
    m_rows.removeAt(row);
}

void KonfiguracjaPage::KonfiguracjaPopupUstawhasloClick()
{
    const int row = selectedRow();
    if (row >= 0)
        openEditor(row, ColumnPassword);
}

void KonfiguracjaPage::signInSelected(const QString &provider)
{
    const int row = selectedRow();
    if (row < 0 || m_signIn)
        return;
    const AccountRow account = m_rows[row];
    const LanguageTable &t = m_main.language();
    OAuthConfig config;
    if (isThunderbird(account.source)) {
        // Thunderbird says how the account signs in; the proxy only needs
        // a token of its own for it.
        if (provider.isEmpty())
            return;
        config.provider = oauthProviderForHost(account.server);
    } else if (!isStoreSource(account.source)) {
        return;
    } else if (provider == QLatin1String("generic")) {
        // A provider without a preset: its addresses and registration first.
        OAuthSettingsDialog ask(t,
            changeRegistry(
                m_main.registry(), [&account](RegistryData &store) { return readOAuthConfig(store, account.key); }),
            this);
        if (ask.exec() != QDialog::Accepted)
            return;
        config = ask.config();
        changeRegistry(m_main.registry(),
            [&account, &config](RegistryData &store) { setAccountOAuth(store, account.key, config); });
    } else {
        changeRegistry(m_main.registry(),
            [&account, &provider](RegistryData &store) { setAccountSignIn(store, account.key, provider); });
        if (provider.isEmpty()) {
            m_main.prompts().information(t.text(keys::zalogujHaslo).arg(account.name));
            return;
        }
        config = changeRegistry(
            m_main.registry(), [&account](RegistryData &store) { return readOAuthConfig(store, account.key); });
    }
    QString problem;
    const std::optional<OAuthEndpoints> endpoints = resolveOAuth(config, &problem);
    if (!endpoints) {
        m_main.prompts().information(t.text(keys::zalogujNieudane).arg(account.name, problem));
        return;
    }
    const QString name = account.name;
    auto *signIn = new AccountSignIn(
        *endpoints, account.user, account.server, m_main.shell(),
        QFileInfo(m_main.configFolder() + QStringLiteral("../state/")).absoluteFilePath() + QLatin1Char('/'),
        [this, name](const QString &failure, const QString &note) {
            const LanguageTable &texts = m_main.language();
            m_main.prompts().information(failure.isEmpty() ? texts.text(keys::zalogowano).arg(name)
                        + (note.isEmpty() ? QString() : QStringLiteral("\n\n") + note)
                                                           : texts.text(keys::zalogujNieudane).arg(name, failure));
            if (m_signIn)
                m_signIn->deleteLater();
        },
        this);
    m_signIn = signIn;
    signIn->start();
}

bool KonfiguracjaPage::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == KonfiguracjaSpamLevel && event->type() == QEvent::FocusOut) {
        KonfiguracjaSpamLevelExit();
    } else if (watched == KonfiguracjaKonta->viewport() && event->type() == QEvent::Resize) {
        // The viewport, not the list: the list sizes its viewport after
        // its own resize event.
        placeNoAccountsPanel();
    }
    return MainFormPage::eventFilter(watched, event);
}

} // namespace jw
