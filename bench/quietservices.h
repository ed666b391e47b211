#pragma once

// Platform services that do nothing, and test data, for the benchmarks.
#include "accounts/accounts.h"
#include "accounts/mailrouting.h"
#include "platform/autostart.h"
#include "platform/clock.h"
#include "platform/helpviewer.h"
#include "platform/processes.h"
#include "platform/prompts.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "tray/guardian.h"
#include "tray/trayform.h"

struct QuietServices final : jw::Autostart,
                             jw::Processes,
                             jw::Prompts,
                             jw::Shell,
                             jw::MailRouting,
                             jw::MonotonicClock,
                             jw::HelpViewer
{
    jw::StartResult start(const QString &, Lifetime) override { return {true, 1, 0, false}; }
    // The proxy "runs" for the whole benchmark.
    bool isAlive(qint64) override { return true; }
    int kill(qint64) override { return -1; }
    void release(qint64) override { }
    std::optional<jw::ProcessEnd> endOf(qint64) override { return std::nullopt; }
    jw::ProcessIdentity identify(qint64 pid) override { return {pid, 1, "/bench/vexel3"}; }
    bool killIdentified(const jw::ProcessIdentity &) override { return true; }
    void information(const QString &) override { }
    void error(const QString &) override { }
    bool question(const QString &, const QString &) override { return true; }
    void notify(const QString &) override { }
    bool open(const QUrl &) override { return false; }
    void ConfigureMail() override { }
    QStringList DeConfigureMail() override { return {}; }
    qint64 nowMs() const override { return 0; }
    void showTopic(int) override { }
    void quit() override { }
    bool isEnabled() const override { return false; }
    void enable(const QString &) override { }
    void disable() override { }

    // The tray's services, all quiet; no guardian, no proxy record.
    jw::TrayServices trayServices() { return {*this, *this, *this, *this, *this, guard}; }
    jw::ProgramGuard guard{*this, QString(), nullptr};
};

// `count` POP3 accounts spread over the three sources, numbered from 1;
// `flagged` ones carry the routing flag and their saved real values.
inline void seedAccounts(jw::RegistryData &data, int count, bool flagged)
{
    for (int i = 0; i < count; ++i) {
        const QString key = jw::accountSources()[i % 3].key + QStringLiteral("%1").arg(i + 1, 8, 10, QLatin1Char('0'));
        const QString server = QStringLiteral("pop%1.example.org").arg(i);
        data.writeString(key, QStringLiteral("Account Name"), QStringLiteral("Account %1").arg(i));
        data.writeString(key, QStringLiteral("POP3 Server"), server);
        data.writeString(key, QStringLiteral("POP3 User Name"), QStringLiteral("user%1").arg(i));
        data.writeInteger(key, QStringLiteral("POP3 Port"), 110);
        data.writeString(key, QStringLiteral("SMTP Server"), QStringLiteral("smtp.example.org"));
        if (flagged) {
            data.writeString(key, QStringLiteral("Use Mailmoater"), QStringLiteral("yes"));
            data.writeString(key, QStringLiteral("POP3 Server orig"), server);
            data.writeInteger(key, QStringLiteral("POP3 Port orig"), 110);
        }
    }
}
