#include "platform/shell.h"

#include <QDesktopServices>

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
