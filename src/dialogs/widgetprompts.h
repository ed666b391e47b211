#pragma once

#include "platform/prompts.h"

namespace jw {

class LanguageTable;

// Message boxes on screen; questions through TPotwierdzForm.
class WidgetPrompts final : public Prompts
{
public:
    explicit WidgetPrompts(QString applicationTitle);
    // The table the question dialog takes its button captions from; until
    // it is set the buttons are blank.
    void setLanguage(const LanguageTable *language) { m_language = language; }

    void information(const QString &text) override;
    void error(const QString &text) override;
    bool question(const QString &text, const QString &caption) override;
    void notify(const QString &text) override;

private:
    const LanguageTable *m_language = nullptr;
    QString m_title;
};

} // namespace jw
