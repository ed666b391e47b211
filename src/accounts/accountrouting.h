#pragma once

#include "tray/mailrouting.h"

#include <QString>

namespace jw {

class Registry;

// The tray's routing of the flagged accounts, on the registry store. The
// proxy's port comes from "main.cfg" (a missing file counts as empty: 0).
class AccountRouting final : public MailRouting
{
public:
    AccountRouting(Registry &registry, QString configFolder);

    void ConfigureMail() override;
    QStringList DeConfigureMail() override;

private:
    Registry &m_registry;
    QString m_configFolder;
};

} // namespace jw
