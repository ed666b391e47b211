#pragma once

#include "tray/mailrouting.h"

#include <QDir>
#include <QString>

namespace jw {

class Registry;

// The tray's routing of the flagged accounts, in the registry store and in
// the Thunderbird profiles under `home`. The proxy's port comes from
// "main.cfg" (a missing file counts as empty: 0). Copies of Thunderbird's
// files as they were before a change go to "state/thunderbird/" beside the
// config folder.
class AccountRouting final : public MailRouting
{
public:
    AccountRouting(Registry &registry, QString configFolder, QString home = QDir::homePath());

    void ConfigureMail() override;
    QStringList DeConfigureMail() override;

private:
    QString thunderbirdBackups() const;

    Registry &m_registry;
    QString m_configFolder;
    QString m_home;
};

} // namespace jw
