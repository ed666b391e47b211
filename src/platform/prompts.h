#pragma once

#include <QString>

namespace jw {

// Every message box and question of the program goes through here, so tests
// can answer them from a script.
class Prompts
{
public:
    virtual ~Prompts() = default;
    // A message with one OK button, captioned with the application title.
    virtual void information(const QString &text) = 0;
    // An error (file, number or registry) with one OK button.
    virtual void error(const QString &text) = 0;
    // A yes/no question; `caption` is the asking window's title. True for yes.
    virtual bool question(const QString &text, const QString &caption) = 0;
};

} // namespace jw
