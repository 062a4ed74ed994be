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

int runPasswd(CliContext &ctx)
{
    QString file;
    bool fromFile = false;
    if (!Cli::takeOption(ctx.args, QStringLiteral("--password-file"), &file, &fromFile))
        return ctx.usageError(QStringLiteral("option --password-file needs a value"));
    if (ctx.args.size() != 1)
        return ctx.usageError(ctx.args.isEmpty() ? QStringLiteral("no item given")
                                                 : QStringLiteral("unexpected argument ") + ctx.args.at(1));
    if (!fromFile && !TerminalPrompts::isTerminal())
        return ctx.usageError(QStringLiteral("--password-file is needed when standard input is not a terminal"));
    QByteArray password;
    if (fromFile) {
        QString error;
        if (!Cli::readPasswordFile(file, &password, &error))
            return ctx.fail(error);
        if (password.isEmpty())
            return ctx.fail(QStringLiteral("The password file holds no password: New password not set"));
    }
    const QString target = ctx.args.first();
    return ConfigChange::editConfiguration(ctx, [&](ConfigDocument &doc, ConfigChange::Edit &edit) {
        ItemKeys::Address a;
        if (!ItemKeys::resolve(target, doc, ctx.codec, &a, &edit.error, true, true))
            return;
        if (a.key >= 0) {
            edit.error = QStringLiteral("passwd takes server, server.smtp, user:... or pop:..., not %1").arg(target);
            return;
        }
        QByteArray *field = nullptr;
        bool digest = false;
        switch (a.kind) {
        case Kind::Server:
            field = a.smtp ? &doc.server.SMTPUserPass : &doc.server.AdminPass;
            digest = !a.smtp;
            break;
        case Kind::User:
            field = &doc.users[size_t(a.index)]->Pass;
            digest = true;
            break;
        case Kind::Pop: field = &doc.pops[size_t(a.index)]->Password; break;
        case Kind::Group:
            edit.error = QStringLiteral("A group has no password");
            return;
        }
        if (fromFile) {
            *field = digest ? PasswordDigest(password) : password;
            return;
        }
        TerminalPrompts prompts;
        const QByteArray result = AskNewPassword(prompts, *field, digest, ctx.codec);
        // Cancelled (end of input), an empty first entry or a mismatch: nothing is set.
        if (!prompts.lastError.isEmpty())
            edit.error = prompts.lastError;
        else if (prompts.answered < 2)
            edit.error = QStringLiteral("New password not set");
        if (!edit.error.isEmpty())
            return;
        *field = result;
    });
}

const CliRegistration passwdReg{{"passwd", "ITEM [--password-file F]",
                                 "set the password of server, server.smtp, a user or an account", &runPasswd}};

} // namespace
