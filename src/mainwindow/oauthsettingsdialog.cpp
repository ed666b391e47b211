#include "mainwindow/oauthsettingsdialog.h"

#include "settings/languagetable.h"
#include "settings/textkeys.h"
#include "ui_oauthsettingsdialog.h"

#include <QPushButton>

namespace jw {

OAuthSettingsDialog::OAuthSettingsDialog(const LanguageTable &language, const OAuthConfig &config, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::OAuthSettingsDialog>())
{
    ui->setupUi(this);
    setWindowTitle(language.text(keys::zalogujInny).remove(QStringLiteral("...")));
    ui->introLabel->setText(language.text(keys::oauthWstep));
    ui->authorizeLabel->setText(language.text(keys::oauthAutoryzacja));
    ui->tokenLabel->setText(language.text(keys::oauthToken));
    ui->scopeLabel->setText(language.text(keys::oauthZakres));
    ui->clientIdLabel->setText(language.text(keys::oauthKlient));
    ui->clientSecretLabel->setText(language.text(keys::oauthSekret));
    ui->authorizeEdit->setText(config.authorizeUrl);
    ui->tokenEdit->setText(config.tokenUrl);
    ui->scopeEdit->setText(config.scope);
    ui->clientIdEdit->setText(config.clientId);
    ui->clientSecretEdit->setText(config.clientSecret);
    connect(ui->buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(ui->buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

OAuthSettingsDialog::~OAuthSettingsDialog() = default;

OAuthConfig OAuthSettingsDialog::config() const
{
    return OAuthConfig{QStringLiteral("generic"), ui->clientIdEdit->text().trimmed(),
        ui->clientSecretEdit->text().trimmed(), ui->authorizeEdit->text().trimmed(), ui->tokenEdit->text().trimmed(),
        ui->scopeEdit->text().trimmed()};
}

} // namespace jw
