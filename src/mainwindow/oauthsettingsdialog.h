#pragma once

#include "oauth/oauthprovider.h"

#include <QDialog>

#include <memory>

namespace Ui {
class OAuthSettingsDialog;
}

namespace jw {

class LanguageTable;

// The addresses, scope and client registration of a provider that has no
// preset: asked before an account signs in with it.
class OAuthSettingsDialog : public QDialog
{
    Q_OBJECT
public:
    OAuthSettingsDialog(const LanguageTable &language, const OAuthConfig &config, QWidget *parent = nullptr);
    ~OAuthSettingsDialog() override;

    // What the fields hold, as a "generic" provider.
    OAuthConfig config() const;

    std::unique_ptr<Ui::OAuthSettingsDialog> ui;
};

} // namespace jw
