// quilmora-config: the headless front end over the editor's core.
#include "cli/CliCommand.h"
#include "cli/CliHelp.h"
#include "config/AppIdentity.h"
#include "config/History.h"
#include "platform/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

void printHelp()
{
    QString text = Cli::usageLine() + QStringLiteral("\n       quilmora-config help [COMMAND] | COMMAND --help | --help | --version\n\n"
                                                      "Options:\n"
                                                      "  --folder DIR     the server's program folder (default $QUILMORA_HOME, else the current folder)\n"
                                                      "  --file NAME      the configuration file in that folder (default quilmora.ini)\n"
                                                      "  --encoding NAME  the character set of the file's text (default: the locale's)\n\n"
                                                      "Commands:\n");
    for (const CliCommand &c : Cli::commands()) {
        const QString head =
            QStringLiteral("  %1 %2").arg(QString::fromLatin1(c.name), QString::fromLatin1(c.usage)).trimmed();
        text += QStringLiteral("  ") + head + QLatin1Char('\n') + QStringLiteral("      ") + QString::fromLatin1(c.summary) + QLatin1Char('\n');
    }
    text += QStringLiteral(
        "\n"
        "A folder or configuration file that does not exist is an error (status 1) for every\n"
        "command but wizard and pull, which make the first configuration.\n"
        "pull and push talk to the server's configuration port, 35000 unless --port N. Without\n"
        "--password-file F they ask for the password without echo when standard input is a\n"
        "terminal, and send an empty password otherwise. A password file is read whole\n"
        "(- for standard input), one trailing line break dropped.\n"
        "\n"
        "Environment:\n"
        "  QUILMORA_HOME    the server's program folder when --folder is not given\n"
        "  QUILMORA_HISTORY off: saves keep no version in history.git (see history --help)\n"
        "\n"
        "Every command takes -- to end its options and --help (or -h) for its own help, as\n"
        "quilmora-config help COMMAND prints it.\n"
        "\n"
        "Exit status:\n"
        "  0  done\n"
        "  1  the operation failed; the message is on standard error\n"
        "  2  usage error (unknown command or option, missing argument)\n");
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

// A script reads the exit status: output that could not be written (a full disk, a closed
// pipe) is a failure, not a success.
int finish(const CliContext &ctx, int status)
{
    if ((std::fflush(stdout) != 0 || std::ferror(stdout)) && status == 0)
        return ctx.fail(QStringLiteral("Unable to write to standard output"));
    return status;
}

// The decoder drops a leading byte-order mark, so an argument that begins with U+FEFF
// would arrive without it; it is given back, for the commands to refuse as they refuse
// the same text from a file.
QStringList commandLine(const QCoreApplication &app, int argc, char *argv[])
{
    QStringList args = app.arguments();
    if (args.size() != argc)
        return args.mid(1);
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "\xEF\xBB\xBF", 3) == 0 && !args[i].startsWith(QChar(0xFEFF)))
            args[i].prepend(QChar(0xFEFF));
    }
    return args.mid(1);
}

void printCommandHelp(const CliCommand &command)
{
    const QByteArray bytes = Cli::commandHelp(command).toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

int run(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = commandLine(app, argc, argv);
    CliContext ctx;

    // Global options stand before the command.
    QString folder;
    QString encoding;
    ctx.fileName = QStringLiteral("quilmora.ini");
    while (!args.isEmpty() && args.first().startsWith(QLatin1Char('-')) && args.first() != QLatin1String("-")) {
        const QString opt = args.first();
        if (opt == QLatin1String("--help") || opt == QLatin1String("-h")) {
            printHelp();
            return finish(ctx, 0);
        }
        if (opt == QLatin1String("--version") || opt == QLatin1String("-V")) {
            ctx.out(QByteArray("quilmora-config ") + AppIdentity::AppVersion + '\n');
            return finish(ctx, 0);
        }
        QString value;
        bool present = false;
        bool ok = true;
        if (opt == QLatin1String("--folder") || opt.startsWith(QLatin1String("--folder=")))
            ok = Cli::takeOption(args, QStringLiteral("--folder"), &folder, &present);
        else if (opt == QLatin1String("--file") || opt.startsWith(QLatin1String("--file="))) {
            ok = Cli::takeOption(args, QStringLiteral("--file"), &ctx.fileName, &present);
            ctx.fileNameGiven = true;
        } else if (opt == QLatin1String("--encoding") || opt.startsWith(QLatin1String("--encoding=")))
            ok = Cli::takeOption(args, QStringLiteral("--encoding"), &encoding, &present);
        else
            return ctx.usageError(QStringLiteral("unknown option ") + opt);
        if (!ok)
            return ctx.usageError(QStringLiteral("option %1 needs a value").arg(opt.section(QLatin1Char('='), 0, 0)));
    }
    if (args.isEmpty())
        return ctx.usageError(QStringLiteral("no command given"));

    ctx.command = args.takeFirst();
    ctx.args = args;
    // help [COMMAND]: the program's help, or the command's.
    if (ctx.command == QLatin1String("help")) {
        Cli::endOptions(args);
        if (args.isEmpty()) {
            printHelp();
            return finish(ctx, 0);
        }
        const CliCommand *about = Cli::find(args.first());
        if (!about || args.size() > 1) {
            ctx.command.clear();
            return ctx.usageError(about ? QStringLiteral("unexpected argument ") + args.at(1)
                                        : QStringLiteral("unknown command ") + args.first());
        }
        printCommandHelp(*about);
        return finish(ctx, 0);
    }
    const CliCommand *command = Cli::find(ctx.command);
    if (!command) {
        const QString unknown = ctx.command;
        ctx.command.clear();
        return ctx.usageError(QStringLiteral("unknown command ") + unknown);
    }
    // COMMAND --help or -h (before a "--"): the command's help, whatever else stands there.
    for (qsizetype i = 0; i < Cli::optionsEnd(ctx.args); ++i) {
        if (ctx.args[i] == QLatin1String("--help") || ctx.args[i] == QLatin1String("-h")) {
            printCommandHelp(*command);
            return finish(ctx, 0);
        }
    }
    if (ctx.fileName.isEmpty())
        return ctx.usageError(QStringLiteral("--file needs a file name"));
    ctx.codec = TextCodec(encoding.toLatin1());
    if (!ctx.codec.isValid())
        return ctx.usageError(QStringLiteral("unknown encoding ") + encoding);
    ctx.folder = ProgramFolder::resolve(folder, QDir::currentPath());
    // The history of saves names the command that saved.
    History::setProgram(QStringLiteral("quilmora-config ") + ctx.command);
    if (const std::optional<int> missing = Cli::checkConfigurationExists(ctx))
        return finish(ctx, *missing);
    return finish(ctx, command->run(ctx));
}

} // namespace

// Out of memory (a huge configuration, a tight ulimit -v) ends the command with one line and
// status 1 like any other failure, not with an abort and a core dump. Nothing has been
// written then: every file is replaced only once its new content is complete.
int main(int argc, char *argv[])
{
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc &) {
        std::fputs("Out of memory\n", stderr);
        return 1;
    }
}
