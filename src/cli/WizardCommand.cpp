// wizard: writes the first configuration exactly as Finish in the setup wizard does, from
// options in place of the wizard's fields (the fields' initial contents by default).
#include "cli/CliCommand.h"
#include "config/PasswordDigest.h"
#include "config/TextLines.h"
#include "platform/Clock.h"
#include "wizard/WizardWriter.h"

#include <QDir>
#include <QFileInfo>

namespace {

// A multi-line text from a file: its lines joined by CR LF; a final line break ends the
// last line and is not part of the text.
bool readTextFile(const QString &path, QByteArray *text, QString *error)
{
    QByteArray bytes;
    if (!Cli::readNamedFile(path, &bytes, error))
        return false;
    bytes = TextLines::normalizeBreaks(bytes);
    if (bytes.endsWith("\r\n"))
        bytes.chop(2);
    *text = bytes;
    return true;
}

int runWizard(CliContext &ctx)
{
    QStringList args = ctx.args;
    WizardFields f;
    const TextCodec &codec = ctx.codec;

    struct TextOption
    {
        const char *name;
        QByteArray *field;
    };
    const TextOption texts[] = {
        {"--server-name", &f.serverName},
        {"--smtp-server", &f.smtpServer},
        {"--admin-email", &f.adminEmail},
        {"--prefix", &f.outboundPrefix},
        {"--marker", &f.outboundMarker},
        {"--pop-server", &f.popServer},
        {"--pop-user", &f.popUser},
        {"--auto-reply-from", &f.autoReplyFrom},
        {"--auto-reply-subject", &f.autoReplySubject},
        {"--group-name", &f.groupName},
        {"--group-description", &f.groupDescription},
        {"--group-outbound-address", &f.groupOutboundAddress},
        {"--user-description", &f.userDescription},
        {"--user-name", &f.userName},
    };
    for (const TextOption &o : texts) {
        const QString name = QString::fromLatin1(o.name);
        QString value;
        bool present = false;
        if (!Cli::takeOption(args, name, &value, &present))
            return ctx.usageError(QStringLiteral("option %1 needs a value").arg(name));
        if (present)
            *o.field = codec.encode(value);
    }

    QString popPasswordFile, userPasswordFile, bodyFile;
    bool hasPopPassword = false, hasUserPassword = false, hasBody = false;
    if (!Cli::takeOption(args, QStringLiteral("--pop-password-file"), &popPasswordFile, &hasPopPassword))
        return ctx.usageError(QStringLiteral("option --pop-password-file needs a file"));
    if (!Cli::takeOption(args, QStringLiteral("--user-password-file"), &userPasswordFile, &hasUserPassword))
        return ctx.usageError(QStringLiteral("option --user-password-file needs a file"));
    if (!Cli::takeOption(args, QStringLiteral("--auto-reply-body-file"), &bodyFile, &hasBody))
        return ctx.usageError(QStringLiteral("option --auto-reply-body-file needs a file"));
    f.adminEmailActive = Cli::takeSwitch(args, QStringLiteral("--admin-email-active"));
    f.autoReply = !Cli::takeSwitch(args, QStringLiteral("--no-auto-reply"));
    const bool force = Cli::takeSwitch(args, QStringLiteral("--force"));

    if (QString unknown; !Cli::endOptions(args, &unknown))
        return ctx.usageError(QStringLiteral("unknown option ") + unknown);
    if (!args.isEmpty())
        return ctx.usageError(QStringLiteral("unexpected argument ") + args.first());
    // Standard input can be read once.
    const int fromStdin = int(hasPopPassword && popPasswordFile == QLatin1String("-"))
                          + int(hasUserPassword && userPasswordFile == QLatin1String("-"))
                          + int(hasBody && bodyFile == QLatin1String("-"));
    if (fromStdin > 1)
        return ctx.usageError(QStringLiteral("only one file can be standard input (-)"));

    QString error;
    if (hasPopPassword && !Cli::readPasswordFile(popPasswordFile, &f.popPassword, &error))
        return ctx.fail(error);
    if (hasUserPassword) {
        QByteArray password;
        if (!Cli::readPasswordFile(userPasswordFile, &password, &error))
            return ctx.fail(error);
        // As the Change button: the digest of the password; an empty one sets none.
        if (!password.isEmpty())
            f.userPass = PasswordDigest(password);
    }
    if (hasBody && !readTextFile(bodyFile, &f.autoReplyBody, &error))
        return ctx.fail(error);

    if (!QFileInfo(ctx.folder).isDir())
        return ctx.fail(QStringLiteral("No such folder: ") + QDir::toNativeSeparators(ctx.folder));
    const QString path = ctx.configPath();
    const WizardWriteResult result = WriteConfiguration(
        path, f, SystemClock().today(), [force]() { return force; }, &error);
    switch (result) {
    case WizardWriteResult::Written:
        return 0;
    case WizardWriteResult::Declined:
        return ctx.fail(QStringLiteral("A configuration file already exists at %1; --force replaces it")
                            .arg(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath())));
    case WizardWriteResult::Failed:
        break;
    }
    return ctx.fail(error);
}

const CliRegistration wizardReg{{"wizard",
                                 "[--server-name T] [--smtp-server T] [--admin-email T] [--admin-email-active] "
                                 "[--prefix T] [--marker T] [--pop-server T] [--pop-user T] [--pop-password-file F] "
                                 "[--no-auto-reply] [--auto-reply-from T] [--auto-reply-subject T] "
                                 "[--auto-reply-body-file F] [--group-name T] [--group-description T] "
                                 "[--group-outbound-address T] [--user-description T] [--user-name T] "
                                 "[--user-password-file F] [--force]",
                                 "write the first configuration as the setup wizard does", &runWizard}};

} // namespace
