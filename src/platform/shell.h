#pragma once

#include <QUrl>

#include <memory>

namespace jw {

// Hands web and mail addresses to the user's programs.
class Shell
{
public:
    virtual ~Shell() = default;
    // Opens `url` when its scheme is http, https or mailto; anything else
    // (local files, scripts, other programs' schemes) is refused. Returns
    // whether it was handed on.
    virtual bool open(const QUrl &url) = 0;
};

// The only schemes the program ever hands on.
bool isOpenableUrl(const QUrl &url);
// Whether the program may fetch from an address that carries secrets or
// code (sign-in tokens, updates): HTTPS, or plain HTTP to this computer's
// own loopback address only (the tests' servers).
bool isFetchableAddress(const QUrl &address);

std::unique_ptr<Shell> createSystemShell();

} // namespace jw
