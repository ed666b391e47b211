#pragma once

// Platform services that do nothing, for benchmarks of the windows.
#include "platform/autostart.h"
#include "platform/clock.h"
#include "platform/helpviewer.h"
#include "platform/processes.h"
#include "platform/prompts.h"
#include "platform/shell.h"
#include "tray/mailrouting.h"

struct QuietServices final : jw::Autostart,
                             jw::Processes,
                             jw::Prompts,
                             jw::Shell,
                             jw::MailRouting,
                             jw::MonotonicClock,
                             jw::HelpViewer
{
    jw::StartResult start(const QString &) override { return {true, 1, 0, false}; }
    bool isAlive(qint64) override { return false; }
    int kill(qint64) override { return -1; }
    void release(qint64) override {}
    void information(const QString &) override {}
    void error(const QString &) override {}
    bool question(const QString &, const QString &) override { return true; }
    bool open(const QUrl &) override { return false; }
    void ConfigureMail() override {}
    void DeConfigureMail() override {}
    qint64 nowMs() const override { return 0; }
    void showTopic(int) override {}
    void quit() override {}
    bool isEnabled() const override { return false; }
    void enable(const QString &) override {}
    void disable() override {}
};
