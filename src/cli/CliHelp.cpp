// The help text of each command: its options and exit statuses.
#include "cli/CliHelp.h"

#include "cli/CliCommand.h"

#include <QHash>

namespace {

QHash<QString, QString> &texts()
{
    static QHash<QString, QString> table;
    return table;
}

const char *const kEnd = "  --              end of options: every word after it is an argument, also one that\n"
                         "                  begins with \"-\"\n"
                         "  -h, --help      print this help and exit\n";

const char *const kChange = "Exit status:\n"
                            "  0  done (the file was written once, atomically, keeping quilmora.ini.bak)\n"
                            "  1  refused or failed, with the reason on standard error; nothing was written\n"
                            "  2  usage error\n";

// The commands of this file's neighbours in src/cli.
const CliHelpRegistration dumpHelp{
    "dump",
    "Options:\n"
    "  --no-secrets    leave out every password and digest (AdminPass, SMTPUserPass, Pass,\n"
    "                  Password): the keys are absent, so apply refuses such a dump\n"
    "  --sha256        add a last member \"sha256\": the SHA-256 of the file's bytes as this\n"
    "                  dump read them, for apply --expect-sha256\n"
    "  --only KINDS    only these members: server, pops, users, groups, separated by commas\n"
    "%END%\n"
    "Exit status:\n"
    "  0  printed\n"
    "  1  the configuration could not be loaded\n"
    "  2  usage error\n"};

const CliHelpRegistration normalizeHelp{"normalize", "Options:\n%END%\n%CHANGE%"};

const CliHelpRegistration getHelp{
    "get",
    "A text prints as decoded, a list one name a line, a password as upper-case hexadecimal,\n"
    "a switch as true or false; an item without KEY prints as dump prints it.\n\n"
    "Options:\n%END%\n"
    "Exit status:\n"
    "  0  printed\n"
    "  1  no such item or key, or the configuration could not be loaded\n"
    "  2  usage error\n"};

const CliHelpRegistration setHelp{
    "set",
    "Integers within the editor's ranges; switches true, false, Y or N; flags Y or N; a list\n"
    "takes its names as separate arguments (none: an empty list). Passwords: use passwd.\n"
    "Put -- before a value that begins with \"-\": set user:ann.Description -- -x-\n\n"
    "Options:\n"
    "  --value-file F  read a multi-line text from F (- for standard input): lines joined by\n"
    "                  CR LF, a final line break not part of the text (before -- only)\n"
    "%END%\n%CHANGE%"};

const CliHelpRegistration addHelp{
    "add",
    "Adds the item with the defaults the editor's Add gives, then the keys given as set sets\n"
    "them, and prints its address (group:#5). A name the kind already has is refused.\n\n"
    "Options:\n%END%\n%CHANGE%"};

const CliHelpRegistration removeHelp{
    "remove",
    "Options:\n"
    "  --with-data     also remove the group's data folder, after the file is written\n"
    "%END%\n"
    "Exit status:\n"
    "  0  removed\n"
    "  1  refused or failed (nothing written), or the group is gone but not all of its data\n"
    "  2  usage error\n"};

const CliHelpRegistration passwdHelp{
    "passwd",
    "ITEM is server (the administrator's password, stored as its digest), server.smtp,\n"
    "user:NAME (digest) or pop:USERID/HOST. Without --password-file it asks twice on the\n"
    "terminal.\n\n"
    "Options:\n"
    "  --password-file F  read the password from F (- for standard input), one trailing line\n"
    "                     break dropped\n"
    "%END%\n%CHANGE%"};

const CliHelpRegistration checkHelp{
    "check",
    "One finding a line: \"error|warning CODE ITEM: message\"; ITEM is server or the item's\n"
    "name (group:sales), its position (group:#3) only where two items share the name.\n\n"
    "Options:\n"
    "  --json          one JSON array of {\"level\", \"code\", \"item\", \"message\"}\n"
    "%END%\n"
    "Exit status:\n"
    "  0  no error-level finding (warnings may be listed)\n"
    "  1  at least one error-level finding, or the configuration could not be loaded\n"
    "  2  usage error\n"};

const CliHelpRegistration diffHelp{
    "diff",
    "Options:\n"
    "  --json          one JSON array of {\"change\", \"item\"[, \"key\", \"from\", \"to\"]}\n"
    "%END%\n"
    "Exit status:\n"
    "  0  the same\n"
    "  1  different\n"
    "  2  usage error, or either file cannot be read\n"};

const CliHelpRegistration applyHelp{
    "apply",
    "FILE (- for standard input) holds a JSON object of dump's form, which becomes the\n"
    "configuration; with --merge it holds only changes:\n"
    "  {\"server\": {KEY: VALUE}, \"users\": [{\"Name\": N, KEY: VALUE}], \"groups\": [...],\n"
    "   \"pops\": [{\"UserID\": U, \"Host\": H, KEY: VALUE}], \"remove\": [\"user:tom\",\n"
    "   {\"item\": \"group:old\", \"withData\": true}], \"exclusive\": [\"users\", \"groups\", \"pops\"]}\n"
    "Items are matched by name (letter case ignored); a new one gets add's defaults. Keys not\n"
    "given are kept. \"exclusive\" removes the items of those kinds that the lists do not name.\n"
    "A result the same as the configuration writes nothing.\n\n"
    "Options:\n"
    "  --merge            FILE holds changes, not a whole configuration\n"
    "  --expect-sha256 H  refuse (status 1, nothing written) unless the file's bytes, read\n"
    "                     under the folder's lock, have the SHA-256 H (from dump --sha256)\n"
    "  --fail-on-findings LEVEL\n"
    "                     refuse (status 1, nothing written) a change whose result has a\n"
    "                     finding of check at LEVEL (error, or warning: either level) that\n"
    "                     the configuration did not have\n"
    "  --dry-run          print what would change, as diff does, and write nothing\n"
    "  --json             print {\"changed\": BOOL, \"sha256\": HEX, \"changes\": [diff --json\n"
    "                     entries], \"findings\": [check --json of the result]}; with\n"
    "                     --dry-run \"changed\" tells whether it would change\n"
    "%END%\n"
    "Exit status:\n"
    "  0  applied, or nothing to change; with --dry-run: the changes were printed (an empty\n"
    "     output, or \"changed\": false with --json, means nothing would change)\n"
    "  1  a member refused (named by its JSON path), the file changed since it was read\n"
    "     (--expect-sha256), or the write failed; nothing was written\n"
    "  2  usage error\n"};

const CliHelpRegistration pullHelp{
    "pull",
    "Prints the local copy's path (the file HOST in the folder; HOST.fetched remembers what\n"
    "was fetched, for push's check).\n\n"
    "Options:\n"
    "  --port N            the server's configuration port (default 35000)\n"
    "  --user U            the administrator's user name\n"
    "  --password-file F   read the password from F (- for standard input); without it the\n"
    "                      password is asked on a terminal, else an empty one is sent\n"
    "  --timeout S         give up after S seconds\n"
    "%END%\n"
    "Exit status:\n"
    "  0  fetched\n"
    "  1  the server could not be reached, refused the login or sent something unusable\n"
    "  2  usage error\n"};

const CliHelpRegistration pushHelp{
    "push",
    "Options:\n"
    "  --port N            the server's configuration port (default 35000)\n"
    "  --user U            the administrator's user name\n"
    "  --password-file F   read the password from F (- for standard input)\n"
    "  --timeout S         give up after S seconds\n"
    "  --force             send even when the server's configuration changed since pull\n"
    "%END%\n"
    "Exit status:\n"
    "  0  sent\n"
    "  1  not sent: the server changed since pull (without --force), or it could not be\n"
    "     reached or checked\n"
    "  2  usage error\n"};

const CliHelpRegistration wizardHelp{
    "wizard",
    "Writes the first configuration as Finish in the setup wizard does.\n\n"
    "Options:\n"
    "  --server-name T, --smtp-server T, --admin-email T, --prefix T, --marker T,\n"
    "  --pop-server T, --pop-user T, --auto-reply-from T, --auto-reply-subject T,\n"
    "  --group-name T, --group-description T, --group-outbound-address T,\n"
    "  --user-name T, --user-description T    the wizard's fields\n"
    "  --admin-email-active      tick Send administrator e-mail\n"
    "  --no-auto-reply           no auto-reply on the account\n"
    "  --auto-reply-body-file F  the auto-reply body (lines joined by CR LF)\n"
    "  --pop-password-file F     the account's password\n"
    "  --user-password-file F    the user's password (stored as its digest)\n"
    "  --force                   replace an existing configuration\n"
    "%END%\n"
    "Exit status:\n"
    "  0  written\n"
    "  1  a configuration exists (without --force), a value refused, or the write failed\n"
    "  2  usage error\n"};

const CliHelpRegistration restoreHelp{
    "restore-backup",
    "Options:\n"
    "  --dry-run       print the change as diff does and write nothing\n"
    "%END%\n%CHANGE%"};

const CliHelpRegistration purgeHelp{
    "purge",
    "Options:\n"
    "  --older-than DAYS   remove entries older than DAYS days\n"
    "  --before DATE       remove entries dated before DATE (YYYY-MM-DD)\n"
    "  --dry-run           count what would be removed and remove nothing\n"
    "%END%\n"
    "Exit status:\n"
    "  0  purged (the count is printed)\n"
    "  1  the group's data could not be read or rewritten\n"
    "  2  usage error\n"};

} // namespace

CliHelpRegistration::CliHelpRegistration(const char *command, const char *text)
{
    texts().insert(QString::fromLatin1(command), QString::fromUtf8(text));
}

namespace Cli {

QString commandHelp(const CliCommand &command)
{
    const QString usage =
        QStringLiteral("usage: quilmora-config [--folder DIR] [--file NAME] [--encoding NAME] %1 %2")
            .arg(QString::fromLatin1(command.name), QString::fromLatin1(command.usage))
            .trimmed();
    QString summary = QString::fromLatin1(command.summary);
    if (!summary.isEmpty())
        summary[0] = summary[0].toUpper();
    QString text = usage + QStringLiteral("\n\n") + summary + QStringLiteral(".\n\n");
    QString body = texts().value(QString::fromLatin1(command.name));
    if (body.isEmpty()) {
        body = QStringLiteral("Options:\n%END%\n"
                              "Exit status:\n"
                              "  0  done\n"
                              "  1  the operation failed; the message is on standard error\n"
                              "  2  usage error\n");
    }
    body.replace(QStringLiteral("%END%"), QString::fromLatin1(kEnd));
    body.replace(QStringLiteral("%CHANGE%"), QString::fromLatin1(kChange));
    return text + body;
}

} // namespace Cli
