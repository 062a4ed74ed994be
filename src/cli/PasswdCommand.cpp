// passwd: sets a password as the Change buttons do: a digest for the administrator and the
// users, the password's own bytes for the SMTP login and the mailboxes.
#include "cli/CliCommand.h"
#include "cli/ConfigChange.h"
#include "cli/ItemKeys.h"
#include "cli/TerminalPrompts.h"
#include "config/ConfigDocument.h"
#include "config/PasswordDigest.h"
#include "config/PasswordEntry.h"

namespace {

using ItemKeys::Kind;

// The password field that `target` names in `doc`, and whether it holds a digest; nothing
// (with `error` set) when the address is no item with a password.
QByteArray *passwordField(ConfigDocument &doc, const QString &target, const TextCodec &codec, bool *digest,
                          QString *error)
{
    ItemKeys::Address a;
    if (!ItemKeys::resolve(target, doc, codec, &a, error, true, true))
        return nullptr;
    if (a.key >= 0) {
        *error = QStringLiteral("passwd takes server, server.smtp, user:... or pop:..., not %1").arg(target);
        return nullptr;
    }
    *digest = false;
    switch (a.kind) {
    case Kind::Server:
        *digest = !a.smtp;
        return a.smtp ? &doc.server.SMTPUserPass : &doc.server.AdminPass;
    case Kind::User:
        *digest = true;
        return &doc.users[size_t(a.index)]->Pass;
    case Kind::Pop:
        return &doc.pops[size_t(a.index)]->Password;
    case Kind::Group:
        *error = QStringLiteral("A group has no password");
        return nullptr;
    }
    return nullptr;
}

// Asks on the terminal twice, as the Change button does, without holding the folder's lock
// while the administrator types: other commands go on meanwhile. The file read before the
// prompts must still be there unchanged when the password is stored; a file that changed
// meanwhile is refused, as a save over another program's change is.
int askOnTerminal(CliContext &ctx, const QString &target)
{
    ConfigDocument before;
    QString error;
    if (!Cli::loadConfiguration(ctx, before, &error))
        return ctx.fail(error);
    bool digest = false;
    QByteArray *field = passwordField(before, target, ctx.codec, &digest, &error);
    if (!field)
        return ctx.fail(error);
    TerminalPrompts prompts;
    const QByteArray result = AskNewPassword(prompts, *field, digest, ctx.codec);
    // Cancelled (end of input), an empty first entry or a mismatch: nothing is set.
    if (!prompts.lastError.isEmpty())
        return ctx.fail(prompts.lastError);
    if (prompts.answered < 2)
        return ctx.fail(QStringLiteral("New password not set"));

    return ConfigChange::editConfiguration(ctx, [&](ConfigDocument &doc, ConfigChange::Edit &edit) {
        if (doc.fingerprint != before.fingerprint) {
            edit.error = ConfigDocument::changedOnDiskText() + QStringLiteral(" New password not set");
            return;
        }
        bool isDigest = false;
        if (QByteArray *now = passwordField(doc, target, ctx.codec, &isDigest, &edit.error))
            *now = result;
    });
}

int runPasswd(CliContext &ctx)
{
    QString file;
    bool fromFile = false;
    if (!Cli::takeOption(ctx.args, QStringLiteral("--password-file"), &file, &fromFile))
        return ctx.usageError(QStringLiteral("option --password-file needs a value"));
    Cli::endOptions(ctx.args);
    if (ctx.args.size() != 1)
        return ctx.usageError(ctx.args.isEmpty() ? QStringLiteral("no item given")
                                                 : QStringLiteral("unexpected argument ") + ctx.args.at(1));
    if (!fromFile && !TerminalPrompts::isTerminal())
        return ctx.usageError(QStringLiteral("--password-file is needed when standard input is not a terminal"));
    const QString target = ctx.args.first();
    if (!fromFile)
        return askOnTerminal(ctx, target);

    QByteArray password;
    QString error;
    if (!Cli::readPasswordFile(file, &password, &error))
        return ctx.fail(error);
    if (password.isEmpty())
        return ctx.fail(QStringLiteral("The password file holds no password: New password not set"));
    return ConfigChange::editConfiguration(ctx, [&](ConfigDocument &doc, ConfigChange::Edit &edit) {
        bool digest = false;
        if (QByteArray *field = passwordField(doc, target, ctx.codec, &digest, &edit.error))
            *field = digest ? PasswordDigest(password) : password;
    });
}

const CliRegistration passwdReg{{"passwd", "ITEM [--password-file F]",
                                 "set the password of server, server.smtp, a user or an account", &runPasswd}};

} // namespace
