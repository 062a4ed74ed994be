// pull and push: the remote transfer of a remote-mode run, from the command line (in the
// module cli-network.so).
#include "cli/NetworkRun.h"
#include "cli/CliCommand.h"
#include "cli/TerminalPassword.h"
#include "config/TextCodec.h"
#include "platform/Prompts.h"
#include "remote/TRemoteInfo.h"

#include <QFileInfo>
#include <cstdio>

namespace {

constexpr qint32 DefaultPort = 35000;

// The transfer reports its failures as the editor's message boxes would; here they go to
// standard error. No question is ever asked on this path.
class StderrPrompts : public Prompts
{
public:
    void error(const QString &text, const QString & = {}) override { print(text); }
    void information(const QString &text, const QString & = {}) override { print(text); }
    void warning(const QString &text, const QString & = {}) override { print(text); }
    bool yesNo(const QString &text, const QString & = {}) override
    {
        print(text);
        return false;
    }
    Answer yesNoCancel(const QString &text, const QString & = {}) override
    {
        print(text);
        return Answer::Cancel;
    }
    bool okCancel(const QString &text, const QString & = {}) override
    {
        print(text);
        return false;
    }
    std::optional<QString> text(const QString &, const QString &label, const QString & = {}, bool = false) override
    {
        print(label);
        return std::nullopt;
    }

private:
    static void print(const QString &text)
    {
        // What a server says may hold escape sequences: they are shown, not obeyed.
        const QByteArray bytes = Cli::escapeControls(text).toLocal8Bit() + '\n';
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    }
};

// Reads HOST and the login options into `remote`; on a usage error gives its exit status.
std::optional<int> takeRemoteArguments(CliContext &ctx, TRemoteInfo &remote, bool *passwordGivenOut)
{
    if (ctx.fileNameGiven)
        return ctx.usageError(QStringLiteral("--file does not apply: the local copy is named after HOST"));
    QStringList args = ctx.args;
    QString port;
    QString user;
    QString passwordFile;
    bool portGiven = false;
    bool passwordGiven = false;
    if (!Cli::takeOption(args, QStringLiteral("--port"), &port, &portGiven))
        return ctx.usageError(QStringLiteral("option --port needs a value"));
    if (!Cli::takeOption(args, QStringLiteral("--user"), &user))
        return ctx.usageError(QStringLiteral("option --user needs a value"));
    if (!Cli::takeOption(args, QStringLiteral("--password-file"), &passwordFile, &passwordGiven))
        return ctx.usageError(QStringLiteral("option --password-file needs a value"));
    QString timeout;
    bool timeoutGiven = false;
    if (!Cli::takeOption(args, QStringLiteral("--timeout"), &timeout, &timeoutGiven))
        return ctx.usageError(QStringLiteral("option --timeout needs a value"));
    if (timeoutGiven) {
        bool ok = false;
        const int seconds = timeout.toInt(&ok);
        if (!ok || seconds <= 0)
            return ctx.usageError(QStringLiteral("--timeout needs a number of seconds above 0, not ") + timeout);
        remote.setOverallLimit(seconds);
    }
    if (QString unknown; !Cli::endOptions(args, &unknown))
        return ctx.usageError(QStringLiteral("unknown option ") + unknown);
    if (args.size() != 1)
        return ctx.usageError(args.isEmpty() ? QStringLiteral("no HOST given")
                                             : QStringLiteral("unexpected argument ") + args.at(1));

    remote.Host = args.first();
    remote.Port = DefaultPort;
    if (portGiven) {
        bool ok = false;
        remote.Port = port.toInt(&ok);
        if (!ok)
            return ctx.usageError(QStringLiteral("--port needs a number, not ") + port);
    }
    // The command line travels in the system's character set, as the editor sends what is typed.
    const TextCodec system;
    remote.User = system.encode(user);
    *passwordGivenOut = passwordGiven;
    if (passwordGiven) {
        QString error;
        if (!Cli::readPasswordFile(passwordFile, &remote.Password, &error))
            return ctx.fail(error);
    }
    return std::nullopt;
}

// Without --password-file a person at a terminal is asked for the password (no echo);
// a script without one sends the empty password, as before.
std::optional<int> askPassword(const CliContext &ctx, TRemoteInfo &remote, bool passwordGiven)
{
    if (passwordGiven || !Cli::stdinIsTerminal())
        return std::nullopt;
    const std::optional<QByteArray> typed =
        Cli::askPasswordWithoutEcho(QStringLiteral("Password for ") + remote.Host + QStringLiteral(": "));
    if (!typed)
        return ctx.fail(QStringLiteral("No password entered"));
    remote.Password = *typed;
    return std::nullopt;
}

int runPull(CliContext &ctx)
{
    StderrPrompts prompts;
    TRemoteInfo remote(prompts);
    bool passwordGiven = false;
    if (const auto status = takeRemoteArguments(ctx, remote, &passwordGiven))
        return *status;
    if (const auto status = askPassword(ctx, remote, passwordGiven))
        return *status;
    if (remote.GetConfig(ctx.folder).isEmpty())
        return 1;
    ctx.outLine(TRemoteInfo::localCopyPath(ctx.folder, remote.Host));
    return 0;
}

// Without --force a push refuses to replace a configuration that changed on the server
// since the pull (or the last push), and to send at all when that cannot be checked (the
// record of the pull is no record, or the server could not be asked); a copy with no
// remembered pull is returned as is.
std::optional<int> refuseChangedServer(CliContext &ctx, TRemoteInfo &remote, bool force)
{
    if (force)
        return std::nullopt;
    const TRemoteInfo::ServerCheck check = remote.CheckServer(ctx.folder);
    switch (check.outcome) {
    case TRemoteInfo::ServerCheck::Outcome::Unchanged:
        return std::nullopt;
    case TRemoteInfo::ServerCheck::Outcome::Changed:
        return ctx.fail(QStringLiteral("The configuration on %1 changed since it was pulled; the server's file was "
                                       "left as it is. Pull it again and redo the change, or push with --force "
                                       "to replace it.")
                            .arg(remote.Host));
    case TRemoteInfo::ServerCheck::Outcome::RecordUnusable:
    case TRemoteInfo::ServerCheck::Outcome::Unreachable:
        break;
    }
    return ctx.fail(
        QStringLiteral("The configuration on %1 cannot be checked for changes made since it was pulled, so nothing "
                       "was sent: %2\nThe server's file was left as it is; push with --force to send the local "
                       "copy without the check.")
            .arg(remote.Host, check.reason));
}

int runPush(CliContext &ctx)
{
    StderrPrompts prompts;
    TRemoteInfo remote(prompts);
    bool passwordGiven = false;
    const bool force = Cli::takeSwitch(ctx.args, QStringLiteral("--force"));
    if (const auto status = takeRemoteArguments(ctx, remote, &passwordGiven))
        return *status;
    // The local copy is the configuration here: without it there is nothing to return.
    const QString copy = TRemoteInfo::localCopyPath(ctx.folder, remote.Host);
    if (TRemoteInfo::isUsableFileName(remote.Host) && !QFileInfo::exists(copy))
        return ctx.fail(Cli::missingConfigurationMessage(copy));
    if (const auto status = askPassword(ctx, remote, passwordGiven))
        return *status;
    if (const auto status = refuseChangedServer(ctx, remote, force))
        return *status;
    return remote.PutConfig(ctx.folder) ? 0 : 1;
}

} // namespace

int CliNetwork::runPull(CliContext &ctx)
{
    return ::runPull(ctx);
}

int CliNetwork::runPush(CliContext &ctx)
{
    return ::runPush(ctx);
}
