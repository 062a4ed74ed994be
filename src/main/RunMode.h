#pragma once

#include <QString>
#include <memory>

class QWidget;

// Moves the configuration between a server and its local copy in a remote-mode run.
// The remote subsystem provides the real one; the main window only calls it.
class ConfigTransfer
{
public:
    virtual ~ConfigTransfer() = default;

    // Fetches the server's configuration into `programFolder` and gives the local copy's
    // file name (relative to the folder), or an empty name when the fetch failed (the
    // failure has already been shown).
    virtual QString fetchConfig(const QString &programFolder) = 0;

    // Returns the saved local copy to the server; a failure is shown by the transfer
    // itself and does not undo the save.
    virtual void putConfig(const QString &programFolder) = 0;

    // Whether the last putConfig() delivered the copy to the server. While it has not, the
    // window's title keeps its mark of unsent changes.
    virtual bool lastPutSent() const { return true; }
};

// What start-up decided: edit the local file, edit a server's configuration through a
// transfer, or end the program.
struct RunModeChoice
{
    enum class Mode { Local, Remote, Cancel };
    Mode mode = Mode::Local;
    std::unique_ptr<ConfigTransfer> transfer; // set for Remote only

    static RunModeChoice local() { return {}; }
    static RunModeChoice cancel()
    {
        RunModeChoice c;
        c.mode = Mode::Cancel;
        return c;
    }
    static RunModeChoice remote(std::unique_ptr<ConfigTransfer> transfer)
    {
        RunModeChoice c;
        c.mode = Mode::Remote;
        c.transfer = std::move(transfer);
        return c;
    }
};

// Asks how this run works; the connection dialog is the real one. `owner` is the hidden
// main window, to own the dialog.
class RunModeChooser
{
public:
    virtual ~RunModeChooser() = default;
    virtual RunModeChoice choose(QWidget *owner) = 0;
};
