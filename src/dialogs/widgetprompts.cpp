#include "dialogs/widgetprompts.h"

#include "dialogs/potwierdzform.h"
#include "settings/languagetable.h"

#include <QMessageBox>

#include <utility>

namespace jw {

WidgetPrompts::WidgetPrompts(QString applicationTitle)
    : m_title(std::move(applicationTitle))
{
}

void WidgetPrompts::information(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, m_title, text, QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void WidgetPrompts::error(const QString &text)
{
    QMessageBox box(QMessageBox::Critical, m_title, text, QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool WidgetPrompts::question(const QString &text, const QString &caption)
{
    static const LanguageTable noTexts;
    return TPotwierdzForm::ask(m_language ? *m_language : noTexts, caption, text);
}

} // namespace jw
