#pragma once

#include <QString>

#include <memory>

namespace jw {

// Starting the program with the user's session, in the tray ("/tray").
class Autostart
{
public:
    virtual ~Autostart() = default;
    virtual bool isEnabled() const = 0;
    // Throws FileError when the entry cannot be written.
    virtual void enable(const QString &executable) = 0;
    virtual void disable() = 0;
};

// The desktop's autostart entry "junkwarden.desktop" in `folder` (the user's
// "autostart" configuration folder when empty).
std::unique_ptr<Autostart> createSystemAutostart(const QString &folder = {});

} // namespace jw
