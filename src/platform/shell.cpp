#include "platform/shell.h"

#include <QDesktopServices>
#include <QHostAddress>

namespace jw {

bool isOpenableUrl(const QUrl &url)
{
    if (!url.isValid())
        return false;
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("mailto"))
        return !url.path().isEmpty();
    return (scheme == QLatin1String("http") || scheme == QLatin1String("https")) && !url.host().isEmpty();
}

bool isFetchableAddress(const QUrl &address)
{
    if (!address.isValid() || address.host().isEmpty())
        return false;
    if (address.scheme() == QLatin1String("https"))
        return true;
    if (address.scheme() != QLatin1String("http"))
        return false;
    if (address.host() == QLatin1String("localhost"))
        return true;
    const QHostAddress host(address.host());
    return !host.isNull() && host.isLoopback();
}

namespace {

class DesktopShell final : public Shell
{
public:
    bool open(const QUrl &url) override
    {
        if (!isOpenableUrl(url))
            return false;
        return QDesktopServices::openUrl(url);
    }
};

} // namespace

std::unique_ptr<Shell> createSystemShell()
{
    return std::make_unique<DesktopShell>();
}

} // namespace jw
