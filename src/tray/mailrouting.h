#pragma once

namespace jw {

// Points the chosen mail accounts at the local proxy and back. The tray
// routes them before it starts the proxy and restores them after it stops it.
class MailRouting
{
public:
    virtual ~MailRouting() = default;
    virtual void ConfigureMail() = 0;
    virtual void DeConfigureMail() = 0;
};

} // namespace jw
