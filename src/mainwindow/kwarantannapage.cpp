#include "mainwindow/kwarantannapage.h"

#include "dialogs/mnemonics.h"
#include "formats/filterlistfiles.h"
#include "mailhtml/safehtml.h"
#include "mainwindow/mainform.h"
#include "mainwindow/pageicons.h"
#include "mainwindow/safebrowser.h"
#include "platform/prompts.h"
#include "platform/shell.h"
#include "settings/languagetable.h"
#include "textfile/codec.h"
#include "textfile/errors.h"
#include "ui_kwarantannapage.h"

#include <QAction>
#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QShowEvent>
#include <QSplitter>
#include <QStyle>
#include <QTabBar>
#include <QTableView>
#include <QTextBlock>
#include <QTextDocument>
#include <QVBoxLayout>

#include <algorithm>
#include <numeric>

namespace jw {

namespace {

QString shortLine(const QString &text)
{
    const qsizetype end = text.indexOf(QLatin1Char('\n'));
    QString line = end < 0 ? text : text.left(end);
    if (line.endsWith(QLatin1Char('\r')))
        line.chop(1);
    return line;
}

} // namespace

KwarantannaPage::KwarantannaPage(TMainForm &main)
    : MainFormPage(main, "TabKwarantanna")
    , m_model(new QuarantineModel(this))
{
    Ui::KwarantannaPage layout;
    layout.setupUi(this);
    KwarantannaMemo = layout.KwarantannaMemo;
    KwarantannaSpam = layout.KwarantannaSpam;
    KwarantannaOdLabel = layout.KwarantannaOdLabel;
    KwarantannaOd = layout.KwarantannaOd;
    KwarantannaTematLabel = layout.KwarantannaTematLabel;
    KwarantannaTemat = layout.KwarantannaTemat;
    KwarantannaDoLabel = layout.KwarantannaDoLabel;
    KwarantannaDo = layout.KwarantannaDo;
    KwarantannaDwLabel = layout.KwarantannaDwLabel;
    KwarantannaDw = layout.KwarantannaDw;
    KwarantannaMemoPodglad = layout.KwarantannaMemoPodglad;
    Splitter = layout.Splitter;
    KwarantannaTabPodglad = layout.KwarantannaTabPodglad;
    KwarantannaEdit = layout.KwarantannaEdit;
    KwarantannaButtonUsun = layout.KwarantannaButtonUsun;
    KwarantannaButtonSzukaj = layout.KwarantannaButtonSzukaj;

    KwarantannaMemo->setModel(m_model);
    KwarantannaMemo->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    KwarantannaMemo->verticalHeader()->setDefaultSectionSize(15 + 4);
    KwarantannaMemo->horizontalHeader()->setSectionsClickable(true);
    for (int c = 0; c < QuarantineModel::kColumns; ++c)
        KwarantannaMemo->setColumnWidth(c, 162);
    m_model->setHeaders({QStringLiteral("List od:"), QStringLiteral("Temat"), QStringLiteral("Data otrzymania"),
        QStringLiteral("Konto pop")});

    // The information bar in the colours of a tip, the header captions bold.
    QPalette infoPalette = layout.InformationBar->palette();
    infoPalette.setColor(QPalette::Window, palette().color(QPalette::ToolTipBase));
    layout.InformationBar->setPalette(infoPalette);
    layout.InformationIcon->setPixmap(standardIcon(QStyle::SP_MessageBoxInformation).pixmap(16, 16));
    for (QLabel *caption : {KwarantannaOdLabel, KwarantannaTematLabel, KwarantannaDoLabel, KwarantannaDwLabel}) {
        QFont bold = caption->font();
        bold.setBold(true);
        caption->setFont(bold);
    }
    KwarantannaMemoPodglad->document()->setDefaultStyleSheet(QStringLiteral("pre { font-family: \"Courier New\"; }"));

    // The list takes two fifths of the page until the user moves the
    // divider (`setSplit`); the subject takes the width the others leave.
    Splitter->setSizes({2, 3});
    Splitter->setStretchFactor(0, 2);
    Splitter->setStretchFactor(1, 3);
    KwarantannaMemo->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch); // the subject
    connect(Splitter, &QSplitter::splitterMoved, this, [this] { m_splitMoved = true; });
    KwarantannaTabPodglad->addTab(QStringLiteral("Tresc"));
    KwarantannaTabPodglad->addTab(QStringLiteral("Zrodlo"));

    // The table's menu.
    auto action = [](QMenu *menu, QWidget *owner, const char *name, const char *caption, const QKeySequence &keys) {
        QAction *a = menu->addAction(QLatin1String(caption));
        a->setObjectName(QLatin1String(name));
        if (!keys.isEmpty()) {
            a->setShortcut(keys);
            a->setShortcutContext(Qt::WidgetShortcut);
            owner->addAction(a);
        }
        return a;
    };
    KwarantannaPopup = new QMenu(this);
    KwarantannaPopup->setObjectName(QStringLiteral("KwarantannaPopup"));
    KwarantannaPopupWyslijdosiebie =
        action(KwarantannaPopup, KwarantannaMemo, "KwarantannaPopupWyslijdosiebie", "Wyslij do siebie", {});
    KwarantannaPopup->addSeparator();
    KwarantannaPopupBiala = action(KwarantannaPopup, KwarantannaMemo, "KwarantannaPopupBiala", "Dodaj do bialej listy",
        QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_B));
    KwarantannaPopupCzarna = action(KwarantannaPopup, KwarantannaMemo, "KwarantannaPopupCzarna",
        "Dodaj do czarnej listy", QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_C));
    KwarantannaPopup->addSeparator();
    KwarantannaPopupZaznaczWszystkie = action(KwarantannaPopup, KwarantannaMemo, "KwarantannaPopupZaznaczWszystkie",
        "Zaznacz wszystkie", QKeySequence(Qt::CTRL | Qt::Key_A));
    KwarantannaPopupUsun =
        action(KwarantannaPopup, KwarantannaMemo, "KwarantannaPopupUsun", "Usun", QKeySequence(Qt::Key_Delete));

    // The preview's menu.
    KwarantannaPodgladPopup = new QMenu(this);
    KwarantannaPodgladPopup->setObjectName(QStringLiteral("KwarantannaPodgladPopup"));
    KwarantannaPopupZaznacz = action(KwarantannaPodgladPopup, KwarantannaMemoPodglad, "KwarantannaPopupZaznacz",
        "Zaznacz wszystko", QKeySequence(Qt::CTRL | Qt::Key_A));
    KwarantannaPopupKopiuj = action(KwarantannaPodgladPopup, KwarantannaMemoPodglad, "KwarantannaPopupKopiuj", "Kopiuj",
        QKeySequence(Qt::CTRL | Qt::Key_C));
    KwarantannaPopupDodajdozakazanych = action(KwarantannaPodgladPopup, KwarantannaMemoPodglad,
        "KwarantannaPopupDodajdozakazanych", "Dodaj slowo do listy zak", {});

    connect(KwarantannaMemo, &QWidget::customContextMenuRequested, this,
        [this](const QPoint &at) { KwarantannaPopup->popup(KwarantannaMemo->viewport()->mapToGlobal(at)); });
    connect(KwarantannaMemoPodglad, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        KwarantannaPodgladPopupPopup();
        KwarantannaPodgladPopup->popup(KwarantannaMemoPodglad->mapToGlobal(at));
    });
    connect(KwarantannaPopupWyslijdosiebie, &QAction::triggered, this,
        &KwarantannaPage::KwarantannaPopupWyslijdosiebieClick);
    connect(KwarantannaPopupBiala, &QAction::triggered, this, &KwarantannaPage::KwarantannaPopupBialaClick);
    connect(KwarantannaPopupCzarna, &QAction::triggered, this, &KwarantannaPage::KwarantannaPopupCzarnaClick);
    connect(KwarantannaPopupZaznaczWszystkie, &QAction::triggered, this,
        &KwarantannaPage::KwarantannaPopupZaznaczWszystkieClick);
    connect(KwarantannaPopupUsun, &QAction::triggered, this, &KwarantannaPage::KwarantannaButtonUsunClick);
    connect(KwarantannaPopupZaznacz, &QAction::triggered, this, &KwarantannaPage::KwarantannaPopupZaznaczClick);
    connect(KwarantannaPopupKopiuj, &QAction::triggered, this, &KwarantannaPage::KwarantannaPopupKopiujClick);
    connect(KwarantannaPopupDodajdozakazanych, &QAction::triggered, this,
        &KwarantannaPage::KwarantannaPopupDodajdozakazanychClick);
    connect(KwarantannaButtonUsun, &QPushButton::clicked, this, &KwarantannaPage::KwarantannaButtonUsunClick);
    connect(KwarantannaButtonSzukaj, &QPushButton::clicked, this, &KwarantannaPage::KwarantannaButtonSzukajClick);
    // Enter in the search field searches, as the search button does.
    connect(KwarantannaEdit, &QLineEdit::returnPressed, this, &KwarantannaPage::KwarantannaButtonSzukajClick);
    connect(KwarantannaTabPodglad, &QTabBar::currentChanged, this, &KwarantannaPage::KwarantannaTabPodgladChange);
    connect(KwarantannaMemo->horizontalHeader(), &QHeaderView::sectionClicked, this,
        &KwarantannaPage::KwarantannaMemoColumnClick);
    connect(KwarantannaMemo->selectionModel(), &QItemSelectionModel::selectionChanged, this,
        &KwarantannaPage::onSelectionChanged);
    connect(KwarantannaMemoPodglad, &SafeTextBrowser::linkClicked, this,
        &KwarantannaPage::KwarantannaMemoPodgladHotSpotClick);
    connect(KwarantannaMemoPodglad, &SafeTextBrowser::linkHovered, this,
        &KwarantannaPage::KwarantannaMemoPodgladHotSpotCovered);
    clearPreview();
}

void KwarantannaPage::SetLanguage()
{
    const LanguageTable &t = m_main.language();
    m_model->setReleaseTips(t.text(keys::kwarantannaCzeka), t.text(keys::kwarantannaDostarczona));
    m_model->setHeaders({t.text(keys::kwarantannaListOd), t.text(keys::kwarantannaTemat), t.text(keys::kwarantannaData),
        t.text(keys::kwarantannaKonto)});
    KwarantannaTabPodglad->setTabText(ContentView, t.text(keys::kwarantannaTresc));
    KwarantannaTabPodglad->setTabText(SourceView, t.text(keys::kwarantannaZrodlo));
    KwarantannaButtonUsun->setText(t.text(keys::usun));
    KwarantannaButtonSzukaj->setText(t.text(keys::szukaj));
    giveMnemonics({KwarantannaButtonUsun, KwarantannaButtonSzukaj});
    KwarantannaOdLabel->setText(t.text(keys::kwarantannaPodgOd));
    KwarantannaTematLabel->setText(t.text(keys::kwarantannaPodgTemat));
    KwarantannaDoLabel->setText(t.text(keys::kwarantannaPodgDo));
    KwarantannaDwLabel->setText(t.text(keys::kwarantannaPodgDw));
    KwarantannaPopupZaznacz->setText(t.text(keys::kwarantannaPopZaznacz));
    KwarantannaPopupKopiuj->setText(t.text(keys::kwarantannaPopKopiuj));
    KwarantannaPopupBiala->setText(t.text(keys::kwarantannaPopBiala));
    KwarantannaPopupCzarna->setText(t.text(keys::kwarantannaPopCzarna));
    KwarantannaPopupZaznaczWszystkie->setText(t.text(keys::kwarantannaPopZaznaczWszystkie));
    KwarantannaPopupWyslijdosiebie->setText(t.text(keys::kwarantannaPopOdeslij));
    KwarantannaPopupUsun->setText(t.text(keys::kwarantannaPopUsun));
    KwarantannaPopupDodajdozakazanych->setText(t.text(keys::kwarantannaPopDodajZakazane));
}

QuarantineStore KwarantannaPage::store() const
{
    return QuarantineStore(m_main.messagesFolder(), m_main.configFolder(), m_main.language().text(keys::subjectNull),
        m_main.language().text(keys::fromNull));
}

void KwarantannaPage::shown()
{
    m_main.control().acknowledgeQuarantine();
}

void KwarantannaPage::showEvent(QShowEvent *event)
{
    MainFormPage::showEvent(event);
    if (!event->spontaneous())
        KwarantannaPokaz();
}

void KwarantannaPage::KwarantannaPokaz()
{
    m_model->setRows(store().scan());
    m_model->sortBy(SortState);
    clearPreview(); // no row is selected after a rebuild
}

QList<int> KwarantannaPage::selectedRows() const
{
    QList<int> rows;
    for (const QModelIndex &index : KwarantannaMemo->selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void KwarantannaPage::selectRow(int row)
{
    if (row < 0) {
        KwarantannaMemo->selectionModel()->clearSelection();
        return;
    }
    const QModelIndex index = m_model->index(row, 0);
    KwarantannaMemo->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    KwarantannaMemo->scrollTo(index);
}

void KwarantannaPage::onSelectionChanged(const QItemSelection &selected, const QItemSelection &)
{
    const QList<int> rows = selectedRows();
    if (rows.size() > 1)
        return;
    if (rows.size() == 1 && !selected.isEmpty())
        showMessage(rows.first());
    else
        clearPreview();
}

void KwarantannaPage::clearPreview()
{
    setPreview(QStringLiteral("<html></html>"), true);
    for (QLabel *label : {KwarantannaOd, KwarantannaTemat, KwarantannaDo, KwarantannaDw, KwarantannaSpam}) {
        label->clear();
        label->setToolTip(QString());
    }
}

QString KwarantannaPage::split() const
{
    const QList<int> sizes = Splitter->sizes();
    return m_splitMoved && sizes.size() == 2 && sizes[0] > 0 && sizes[1] > 0
        ? QStringLiteral("%1,%2").arg(sizes[0]).arg(sizes[1])
        : QString();
}

void KwarantannaPage::setSplit(const QString &stored)
{
    // Anything but two positive numbers keeps the default.
    const QStringList parts = stored.split(QLatin1Char(','));
    bool listOk = false;
    bool previewOk = false;
    const int list = parts.value(0).toInt(&listOk);
    const int preview = parts.value(1).toInt(&previewOk);
    if (parts.size() == 2 && listOk && previewOk && list > 0 && preview > 0 && list <= 100000 && preview <= 100000)
        Splitter->setSizes({list, preview});
}

void KwarantannaPage::setPreview(const QString &text, bool html)
{
    m_previewText = text;
    m_previewHtml = html;
    QTextDocument *document = KwarantannaMemoPodglad->document();
    if (html) {
        document->setDefaultFont(QFont(QStringLiteral("Times New Roman")));
        KwarantannaMemoPodglad->setHtml(text);
    } else {
        document->setDefaultFont(QFont(QStringLiteral("Courier New")));
        KwarantannaMemoPodglad->setPlainText(text);
    }
}

QString KwarantannaPage::shownInPart(qsizetype characters) const
{
    return m_main.language().text(keys::podgladSkrocony).replace(QStringLiteral("%1"), QString::number(characters));
}

void KwarantannaPage::showMessage(int row)
{
    QuarantineRow &record = m_model->row(row);
    QByteArray text;
    try {
        text = QuarantineStore::readText(record.path);
        if (record.status == "New") {
            QuarantineStore::markRead(record.path);
            record.status.clear();
            m_model->rowChanged(row);
        }
    } catch (const FileError &e) {
        m_main.showError(e.message());
        return;
    }
    const QByteArray content = QuarantineStore::contentSection(text);
    const QByteArray source = QuarantineStore::sourceSection(text);
    const QByteArray charset = QuarantineStore::declaredCharset(content, source);
    auto decoded = [&charset](const QByteArray &bytes) {
        if (const std::optional<QString> known = decodeCharset(bytes, charset))
            return *known;
        return decode(bytes, CodePage::Windows1257);
    };
    const bool contentView = KwarantannaTabPodglad->currentIndex() == ContentView;
    const QByteArray shown = contentView ? content : source;
    if (shown.isEmpty()) {
        setPreview(QStringLiteral("<html></html>"), true);
    } else if (contentView && QuarantineStore::contentIsHtml(content, source) && shown.size() <= kMaxHtmlBytes) {
        const QString html = decoded(shown);
        qsizetype read = 0;
        const QString safe = sanitizeMailHtml(html, {}, &read);
        setPreview(read < html.size()
                ? QStringLiteral("<p><i>") + shownInPart(read).toHtmlEscaped() + QStringLiteral("</i></p>") + safe
                : safe,
            true);
    } else if (shown.size() > kMaxShownBytes) {
        // Cut at a character's start, so a UTF-8 character is not split.
        qsizetype cut = kMaxShownBytes;
        while (cut > 0 && (uchar(shown[cut]) & 0xc0) == 0x80)
            --cut;
        const QString part = decoded(shown.left(cut));
        setPreview(shownInPart(part.size()) + QStringLiteral("\n\n") + part, false);
    } else if (contentView) {
        // Text shown as text, its addresses clickable.
        setPreview(plainMailAsHtml(decoded(shown)), true);
    } else {
        setPreview(decoded(shown), false);
    }
    KwarantannaOd->setText(shortLine(record.sender));
    KwarantannaTemat->setText(shortLine(record.subject));
    KwarantannaSpam->setText(record.spamNote);
    // Every recipient in the tip, however many the line has room for.
    for (const auto &[label, field] : {std::pair{KwarantannaDo, "to:"}, std::pair{KwarantannaDw, "cc:"}}) {
        const QByteArray value = QuarantineStore::headerValue(text, field, 16000);
        label->setText(shortLine(decoded(value)));
        label->setToolTip(decoded(QuarantineStore::unfolded(value)).simplified());
    }
}

void KwarantannaPage::KwarantannaTabPodgladChange()
{
    if (m_model->size() == 0)
        return;
    if (selectedRows().isEmpty()) {
        const QModelIndex top = KwarantannaMemo->indexAt(QPoint(0, 0));
        selectRow(top.isValid() ? top.row() : 0);
        return; // selecting it showed it
    }
    showMessage(selectedRows().first());
}

void KwarantannaPage::KwarantannaMemoColumnClick(int column)
{
    SortState = SortState == column ? column + 10 : column;
    m_model->sortBy(SortState);
}

void KwarantannaPage::KwarantannaButtonUsunClick()
{
    const QList<int> rows = selectedRows();
    if (rows.isEmpty()) {
        m_main.prompts().information(m_main.language().text(keys::potrzebujeTextKwarantannaUsun));
        return;
    }
    {
        const QSignalBlocker blocker(KwarantannaMemo->selectionModel());
        // Deleting says "this is spam": the proxy learns it so.
        const QuarantineStore store(m_main.messagesFolder(), m_main.configFolder(), QString(), QString());
        for (auto it = rows.crbegin(); it != rows.crend(); ++it) {
            store.removeAsSpam(m_model->row(*it).path);
            m_model->removeRowAt(*it);
        }
        KwarantannaMemo->selectionModel()->clearSelection();
    }
    // The row below the last deleted one, or the one above it.
    const int below = rows.last() - int(rows.size() - 1);
    const int next = below < m_model->size() ? below : m_model->size() - 1;
    if (next >= 0)
        selectRow(next);
    else
        clearPreview();
}

void KwarantannaPage::KwarantannaButtonSzukajClick()
{
    const QString text = KwarantannaEdit->text();
    if (text.isEmpty()) {
        m_main.prompts().information(m_main.language().text(keys::potrzebujeTextSzukaj));
        return;
    }
    const QList<int> rows = selectedRows();
    const int start = rows.isEmpty() ? -1 : rows.first();
    for (int row = start + 1; row < m_model->size(); ++row) {
        const QuarantineRow &r = m_model->row(row);
        if (r.sender.contains(text, Qt::CaseSensitive) || r.subject.contains(text, Qt::CaseSensitive)) {
            selectRow(row);
            return;
        }
    }
    selectRow(-1);
    m_main.prompts().information(m_main.language().text(keys::nieZnaleziono));
}

void KwarantannaPage::KwarantannaPopupWyslijdosiebieClick()
{
    const QList<int> rows = selectedRows();
    if (rows.isEmpty())
        return;
    QList<NativePath> paths;
    for (int row : rows)
        paths.append(m_model->row(row).path);
    const QSignalBlocker blocker(KwarantannaMemo->selectionModel());
    try {
        store().requestResend(paths, [this, &rows](int i) {
            m_model->row(rows[i]).status = "Resend";
            m_model->rowChanged(rows[i]);
            KwarantannaMemo->selectionModel()->select(
                m_model->index(rows[i], 0), QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
        });
    } catch (const FileError &e) {
        m_main.showError(e.message());
    }
    KwarantannaMemo->selectionModel()->clearSelection();
    KwarantannaMemo->viewport()->update();
}

void KwarantannaPage::addSenderTo(const char *list)
{
    const QList<int> rows = selectedRows();
    if (rows.isEmpty())
        return;
    try {
        addMissingToListFile(m_main.configFolder() + QLatin1String(list), {m_model->row(rows.first()).sender});
    } catch (const FileError &e) {
        m_main.showError(e.message());
    }
}

void KwarantannaPage::KwarantannaPopupBialaClick()
{
    addSenderTo(filterLists()[kWhiteList].fileName);
}

void KwarantannaPage::KwarantannaPopupCzarnaClick()
{
    addSenderTo(filterLists()[kBlackList].fileName);
}

void KwarantannaPage::KwarantannaPopupZaznaczWszystkieClick()
{
    KwarantannaMemo->selectAll();
}

void KwarantannaPage::KwarantannaPopupZaznaczClick()
{
    KwarantannaMemoPodglad->selectAll();
}

void KwarantannaPage::KwarantannaPopupKopiujClick()
{
    KwarantannaMemoPodglad->copy();
}

void KwarantannaPage::KwarantannaPodgladPopupPopup()
{
    KwarantannaPopupDodajdozakazanych->setEnabled(KwarantannaMemoPodglad->textCursor().hasSelection());
}

void KwarantannaPage::KwarantannaPopupDodajdozakazanychClick()
{
    QString selected = KwarantannaMemoPodglad->textCursor().selectedText();
    if (selected.isEmpty())
        return;
    selected.replace(QChar::ParagraphSeparator, QLatin1Char('\n')).replace(QChar::LineSeparator, QLatin1Char('\n'));
    // Each selected line is a word; an empty one would match every message.
    const QStringList words = selected.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    try {
        addMissingToListFile(m_main.configFolder() + QLatin1String(filterLists()[kBadWords].fileName), words);
    } catch (const FileError &e) {
        m_main.showError(e.message());
    }
}

void KwarantannaPage::KwarantannaMemoPodgladHotSpotClick(const QString &target)
{
    const QString upper = target.toUpper();
    qsizetype at = upper.indexOf(QLatin1String("MAILTO:"));
    if (at < 0)
        at = upper.indexOf(QLatin1String("HTTP:"));
    if (at < 0) {
        // Secure web links open in the browser too; nothing else is opened.
        if (upper.startsWith(QLatin1String("HTTPS:")) && m_main.shell().open(QUrl(target)))
            m_main.setStatusText(target);
        return;
    }
    QString address = target.mid(at, 200);
    const qsizetype quote = address.indexOf(QLatin1Char('"'));
    if (quote >= 0)
        address.truncate(quote);
    m_main.shell().open(QUrl(address));
    m_main.setStatusText(address);
}

void KwarantannaPage::KwarantannaMemoPodgladHotSpotCovered(const QString &target)
{
    QString text = target;
    const qsizetype at = text.toLower().indexOf(QLatin1String("3d"));
    if (at >= 0 && at <= 2)
        text = text.mid(at + 2, 300);
    const qsizetype quote = text.indexOf(QLatin1Char('"'));
    if (quote >= 0) {
        text = text.mid(quote + 1, 300);
        const qsizetype closing = text.indexOf(QLatin1Char('"'));
        if (closing >= 0)
            text.truncate(closing);
    }
    m_main.setStatusText(text);
}

} // namespace jw
