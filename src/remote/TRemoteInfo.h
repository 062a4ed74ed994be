#pragma once

#include "remote/FetchedState.h"
#include "remote/ReplyReader.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

class BusyCursor;
class Prompts;
class QTcpSocket;
class TransferMonitor;

// The remote configuration transfer of a remote-mode run: fetches the server's whole
// configuration file into a local copy named after the host, and sends that copy back
// after every save. Each operation opens its own connection, runs to completion on the
// calling thread and leaves the connection closed. Failures are shown through `prompts`
// and never escape.
class TRemoteInfo
{
public:
    // `cursor` may be null (no hourglass, as on the command line).
    explicit TRemoteInfo(Prompts &prompts, BusyCursor *cursor = nullptr);
    virtual ~TRemoteInfo();

    TRemoteInfo(const TRemoteInfo &) = delete;
    TRemoteInfo &operator=(const TRemoteInfo &) = delete;

    QString Host;        // as typed; also the local copy's file name
    QByteArray User;     // sent as is, in the system's character set
    QByteArray Password; // sent as is; held in memory only
    qint32 Port = 0;

    // Fetches the configuration into `folder` + Host. Gives Host on success, an empty text
    // on any failure (already shown).
    QString GetConfig(const QString &folder);

    // Sends the local copy `folder` + Host back to the server. A failure is shown; the
    // result tells whether the server got the whole file and accepted the login (a reply
    // other than 200 to AUTH is reported with the server's words, after the file was sent
    // all the same).
    bool PutConfig(const QString &folder);

    // Whether the server's configuration now differs from what the local copy remembers of
    // the last fetch or return (FetchedState). Nothing is shown: the caller says what the
    // outcome means.
    struct ServerCheck
    {
        enum class Outcome {
            Unchanged,    // as remembered, or nothing remembered (the copy goes as it is)
            Changed,      // another administrator returned a change
            RecordUnusable, // the record beside the copy is no record (link, folder, garbled)
            Unreachable,  // the server could not be asked: login refused, socket error, ...
        };
        Outcome outcome = Outcome::Unchanged;
        QString reason; // for RecordUnusable and Unreachable
    };
    ServerCheck CheckServer(const QString &folder);

    // The return after a save in the editor: when the server's configuration changed since
    // it was fetched, or cannot be checked for changes, asks whether to replace it; No
    // keeps the local copy unsent and says how to send it later. When the check cannot be
    // made at all, nothing is sent and one message says so, why, and how to send it. Gives
    // whether the copy was returned.
    bool PutConfigAfterCheck(const QString &folder);
    static QString serverChangedQuestion()
    {
        return QStringLiteral("The configuration on the server changed since it was fetched. Replace it with yours?");
    }
    // The command that sends the local copy without the check.
    static QString forcedPushCommand(const QString &folder, const QString &host);

    // The local copy's full name: `folder` (with or without its trailing separator) + host.
    static QString localCopyPath(const QString &folder, const QString &host);
    // Whether `host` can name a file inside the folder: not empty, not "." or "..", no
    // path separator and no control character.
    static bool isUsableFileName(const QString &host);

    // How long connecting or waiting for the server may take before the transfer fails.
    void setTimeout(int milliseconds) { m_timeoutMs = milliseconds; }
    int timeout() const { return m_timeoutMs; }

    // How long one whole transfer may take, however the server paces it.
    static constexpr int DefaultOverallLimitSeconds = 300;
    void setOverallLimit(int seconds) { m_overallSeconds = seconds; }
    int overallLimit() const { return m_overallSeconds; }

    // Shown the progress of every transfer and asked whether to go on; may be null.
    void setMonitor(TransferMonitor *monitor) { m_monitor = monitor; }

protected:
    // The address the connection goes to. It is the host text; kept apart so that a test
    // can reach its loopback server under a host text that names no real machine.
    virtual QString connectAddress() const { return Host; }

private:
    bool fetch(const QString &folder, QString *error);
    bool send(const QString &folder, QString *error);
    bool fetchState(FetchedState *state, QString *error);
    QString notSentText(const QString &folder) const;
    std::optional<QString> requestProblem() const;
    QByteArray authLine() const;

    Prompts &m_prompts;
    BusyCursor *m_cursor;
    std::unique_ptr<QTcpSocket> m_connection;
    int m_timeoutMs = Net::DefaultTimeoutMs;
    int m_overallSeconds = DefaultOverallLimitSeconds;
    TransferMonitor *m_monitor = nullptr;
    qint64 m_done = 0;
    qint64 m_total = -1;
    FetchedState m_sent;    // what the last successful return sent
    FetchedState m_fetched; // what the last successful fetch received
};
