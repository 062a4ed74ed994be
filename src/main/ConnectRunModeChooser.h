#pragma once

#include "config/History.h"
#include "main/RunMode.h"
#include "main/StartupTrace.h"
#include "widgets/TransferProgressDialog.h"
#include "platform/BusyCursor.h"
#include "platform/Prompts.h"
#include "platform/Registry.h"
#include "remote/TConnectForm.h"
#include "remote/TRemoteInfo.h"

#include <functional>
#include <optional>
#include <utility>

// The real run-mode chooser: the connection dialog, and in remote mode a TRemoteInfo as
// the run's transfer.
class RemoteInfoTransfer : public ConfigTransfer
{
public:
    explicit RemoteInfoTransfer(std::unique_ptr<TRemoteInfo> info) : m_info(std::move(info))
    {
        // The versions the history keeps of the local copy name the login on the server too.
        History::setLogin(QString::fromLocal8Bit(m_info->User));
    }
    QString fetchConfig(const QString &programFolder) override { return m_info->GetConfig(programFolder); }
    void putConfig(const QString &programFolder) override { m_sent = m_info->PutConfigAfterCheck(programFolder); }
    bool lastPutSent() const override { return m_sent; }

private:
    std::unique_ptr<TRemoteInfo> m_info;
    bool m_sent = true;
};

class ConnectRunModeChooser : public RunModeChooser
{
public:
    ConnectRunModeChooser(Registry &registry, Prompts &prompts, BusyCursor *cursor)
        : m_registry(registry), m_prompts(prompts), m_cursor(cursor)
    {
    }

    // Shows the connection dialog before the main window exists, so that the first thing
    // on the screen comes without waiting for the window; `whileWaiting` (building the
    // window) runs once the dialog has painted. The answer is kept for choose(). Gives
    // false when the dialog was cancelled.
    bool askFirst(std::function<void()> whileWaiting)
    {
        m_early = TConnectForm::run(m_registry, m_prompts, nullptr, std::move(whileWaiting));
        m_asked = true;
        if (m_early)
            StartupTrace::mark("dialog-accepted");
        return m_early.has_value();
    }

    RunModeChoice choose(QWidget *owner) override
    {
        std::optional<ConnectSettings> chosen;
        if (m_asked) {
            chosen = std::exchange(m_early, std::nullopt);
            m_asked = false;
        } else {
            chosen = TConnectForm::run(m_registry, m_prompts, owner);
            if (chosen)
                StartupTrace::mark("dialog-accepted");
        }
        if (!chosen)
            return RunModeChoice::cancel();
        if (!chosen->remote())
            return RunModeChoice::local();
        auto info = chosen->makeRemoteInfo(m_prompts, m_cursor);
        // The window owns the progress dialog; a transfer that lasts shows it.
        info->setMonitor(new TransferProgressDialog(owner));
        return RunModeChoice::remote(std::make_unique<RemoteInfoTransfer>(std::move(info)));
    }

private:
    Registry &m_registry;
    Prompts &m_prompts;
    BusyCursor *m_cursor;
    bool m_asked = false;
    std::optional<ConnectSettings> m_early;
};
