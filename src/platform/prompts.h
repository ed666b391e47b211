#pragma once

#include "textfile/errors.h"

#include <QString>

#include <functional>

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
    // A message that must not wait for the user, for when the program is
    // ending: a desktop notification where the desktop offers them, and a
    // line on the standard error stream in any case.
    virtual void notify(const QString &text) = 0;
};

// Runs a step that may throw one of the program's errors and shows such an
// error in the error box, as every handler does at its boundary. False when
// the step failed.
inline bool reportErrors(Prompts &prompts, const std::function<void()> &step)
{
    try {
        step();
        return true;
    } catch (const Error &e) {
        if (!e.alreadyReported())
            prompts.error(e.message());
        return false;
    }
}

} // namespace jw
