// history: the versions every save keeps in history.git, and restoring one.
#include "cli/CliCommand.h"
#include "cli/CliHelp.h"
#include "cli/ConfigChange.h"
#include "config/ConfigBytes.h"
#include "config/ConfigDiff.h"
#include "config/ConfigDocument.h"
#include "config/ConfigStore.h"
#include "config/History.h"
#include "config/JsonWriter.h"

#include <QDate>
#include <QTimeZone>

namespace {

// The command's help (`history --help`, `help history`), after its usage line and summary.
const CliHelpRegistration historyHelp{"history",
    "Every save of the configuration (by the editor, the wizard and every command that writes)\n"
    "keeps the saved file as a commit in the git repository history.git in the server's folder.\n"
    "\n"
    "  history            the versions of the file, newest first: revision, date, author, summary\n"
    "    --limit N        at most N versions\n"
    "    --json           one JSON array of {\"revision\", \"date\", \"author\", \"summary\"}\n"
    "  show REV           what version REV changed, in the words of diff (passwords as \"(changed)\")\n"
    "    --against REV    compared with another version instead of the one before it\n"
    "    --against current  compared with the configuration file as it is now\n"
    "  restore REV        saves version REV as the configuration (a new save, itself recorded)\n"
    "    --dry-run        prints what would change and writes nothing\n"
    "  prune --keep N     keeps the newest N versions and drops the older ones\n"
    "  prune --before D   drops the versions saved before the day D (the newest always stays)\n"
    "\n"
    "REV is a revision as `history` prints it (or any unique beginning of it), or git's\n"
    "forms: HEAD, HEAD~1. Plain git reads the repository: git --git-dir=history.git log -p\n"
    "\n"
    "Exit status:\n"
    "  0  done\n"
    "  1  the operation failed (a missing, damaged or unreadable history says why)\n"
    "  2  usage error\n"};

QString shortRevision(const QByteArray &revision)
{
    return QString::fromLatin1(revision.left(10));
}

QString dateText(const QDateTime &date)
{
    return date.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss t"));
}

QString isoDate(const QDateTime &date)
{
    return date.toString(Qt::ISODate);
}

bool documentOf(const QByteArray &bytes, ConfigDocument &doc, QString *error)
{
    QByteArray copy = bytes;
    if (!ConfigBytes::prepare(copy, QStringLiteral("the version"), error))
        return false;
    return doc.loadFromStore(ConfigStore::fromBytes(std::move(copy)), TextCodec(), error);
}

// The diff's lines, passwords and digests as "(changed)".
QByteArray diffText(const ConfigDocument &from, const ConfigDocument &to, const TextCodec &codec)
{
    QString out;
    for (const ConfigDiff::Entry &e : ConfigDiff::compare(from, to, codec))
        out += ConfigDiff::describe(e, codec, true) + QLatin1Char('\n');
    return out.toUtf8();
}

bool openHistory(const CliContext &ctx, History::Repository &repo, QString *error)
{
    return repo.open(ctx.folder, ctx.fileName, error);
}

bool versionDocument(const History::Repository &repo, const QString &rev, History::Version *version,
                     ConfigDocument &doc, QString *error)
{
    QByteArray bytes;
    return repo.resolve(rev, version, error) && repo.fileAt(version->revision, &bytes, error)
           && documentOf(bytes, doc, error);
}

int runList(CliContext &ctx)
{
    const bool json = Cli::takeSwitch(ctx.args, QStringLiteral("--json"));
    QString limitText;
    bool limited = false;
    if (!Cli::takeOption(ctx.args, QStringLiteral("--limit"), &limitText, &limited))
        return ctx.usageError(QStringLiteral("option --limit needs a value"));
    bool ok = true;
    const int limit = limited ? limitText.toInt(&ok) : -1;
    if (!ok || (limited && limit < 0))
        return ctx.usageError(QStringLiteral("--limit takes a number: ") + limitText);
    Cli::endOptions(ctx.args);
    if (!ctx.args.isEmpty())
        return ctx.usageError(QStringLiteral("unexpected argument ") + ctx.args.first());
    History::Repository repo;
    QString error;
    QList<History::Version> versions;
    if (!openHistory(ctx, repo, &error) || !repo.versions(&versions, limit, &error))
        return ctx.fail(error);
    if (json) {
        JsonWriter j;
        j.beginArray();
        for (const History::Version &v : versions) {
            j.beginObject();
            j.value("revision", QString::fromLatin1(v.revision));
            j.value("date", isoDate(v.date));
            j.value("author", v.author);
            j.value("summary", v.summary);
            j.endObject();
        }
        j.endArray();
        ctx.out(j.bytes() + '\n');
        return 0;
    }
    QByteArray out;
    for (const History::Version &v : versions)
        out += (shortRevision(v.revision) + QStringLiteral("  ") + dateText(v.date) + QStringLiteral("  ") + v.author
                + QStringLiteral("  ") + Cli::escapeControls(v.summary) + QLatin1Char('\n'))
                   .toUtf8();
    ctx.out(out);
    return 0;
}

int runShow(CliContext &ctx)
{
    QString against;
    bool compared = false;
    if (!Cli::takeOption(ctx.args, QStringLiteral("--against"), &against, &compared))
        return ctx.usageError(QStringLiteral("option --against needs a value"));
    Cli::endOptions(ctx.args);
    if (ctx.args.size() != 1)
        return ctx.usageError(ctx.args.isEmpty() ? QStringLiteral("no revision given")
                                                 : QStringLiteral("unexpected argument ") + ctx.args.at(1));
    History::Repository repo;
    QString error;
    History::Version version;
    ConfigDocument shown, base;
    if (!openHistory(ctx, repo, &error) || !versionDocument(repo, ctx.args.first(), &version, shown, &error))
        return ctx.fail(error);
    QString baseName;
    if (!compared) {
        QByteArray parent;
        if (!repo.previous(version.revision, &parent, &error))
            return ctx.fail(error);
        if (!parent.isEmpty()) {
            History::Version before;
            if (!versionDocument(repo, QString::fromLatin1(parent), &before, base, &error))
                return ctx.fail(error);
            baseName = shortRevision(parent);
        } else {
            baseName = QStringLiteral("nothing (the first version)");
        }
    } else if (against == QLatin1String("current")) {
        if (!Cli::loadConfiguration(ctx, base, &error))
            return ctx.fail(error);
        baseName = QStringLiteral("the current file");
    } else {
        History::Version other;
        if (!versionDocument(repo, against, &other, base, &error))
            return ctx.fail(error);
        baseName = shortRevision(other.revision);
    }
    QByteArray out = (QStringLiteral("revision ") + QString::fromLatin1(version.revision) + QLatin1Char('\n')
                      + QStringLiteral("Author: ") + version.author + QLatin1Char('\n') + QStringLiteral("Date:   ")
                      + dateText(version.date) + QLatin1Char('\n') + QStringLiteral("    ")
                      + Cli::escapeControls(version.summary) + QLatin1Char('\n') + QStringLiteral("Against: ")
                      + baseName + QStringLiteral("\n\n"))
                         .toUtf8();
    out += diffText(base, shown, ctx.codec);
    ctx.out(out);
    return 0;
}

// Takes everything `from` holds into `doc`; what `doc` knows of the file on disk stays.
void takeContent(ConfigDocument &doc, ConfigDocument &from)
{
    doc.server = std::move(from.server);
    doc.oldFormat = from.oldFormat;
    doc.pops = std::move(from.pops);
    doc.users = std::move(from.users);
    doc.groups = std::move(from.groups);
}

int runRestore(CliContext &ctx)
{
    const bool dryRun = Cli::takeSwitch(ctx.args, QStringLiteral("--dry-run"));
    Cli::endOptions(ctx.args);
    if (ctx.args.size() != 1)
        return ctx.usageError(ctx.args.isEmpty() ? QStringLiteral("no revision given")
                                                 : QStringLiteral("unexpected argument ") + ctx.args.at(1));
    History::Repository repo;
    QString error;
    History::Version version;
    ConfigDocument restored;
    if (!openHistory(ctx, repo, &error) || !versionDocument(repo, ctx.args.first(), &version, restored, &error))
        return ctx.fail(error);
    if (dryRun) {
        ConfigDocument mine;
        if (!Cli::loadConfiguration(ctx, mine, &error))
            return ctx.fail(error);
        ctx.out(diffText(mine, restored, ctx.codec));
        return 0;
    }
    History::setProgram(QStringLiteral("quilmora-config history restore ") + shortRevision(version.revision));
    return ConfigChange::editConfiguration(ctx, [&](ConfigDocument &doc, ConfigChange::Edit &) {
        takeContent(doc, restored);
    });
}

int runPrune(CliContext &ctx)
{
    QString keepText, beforeText;
    bool keepGiven = false, beforeGiven = false;
    if (!Cli::takeOption(ctx.args, QStringLiteral("--keep"), &keepText, &keepGiven))
        return ctx.usageError(QStringLiteral("option --keep needs a value"));
    if (!Cli::takeOption(ctx.args, QStringLiteral("--before"), &beforeText, &beforeGiven))
        return ctx.usageError(QStringLiteral("option --before needs a value"));
    Cli::endOptions(ctx.args);
    if (!ctx.args.isEmpty())
        return ctx.usageError(QStringLiteral("unexpected argument ") + ctx.args.first());
    if (keepGiven == beforeGiven)
        return ctx.usageError(QStringLiteral("give either --keep N or --before YYYY-MM-DD"));
    int keep = 0;
    QDateTime before;
    if (keepGiven) {
        bool ok = false;
        keep = keepText.toInt(&ok);
        if (!ok || keep < 1)
            return ctx.usageError(QStringLiteral("--keep takes a number of at least 1: ") + keepText);
    } else {
        const QDate day = QDate::fromString(beforeText, Qt::ISODate);
        if (!day.isValid())
            return ctx.usageError(QStringLiteral("--before takes a date YYYY-MM-DD: ") + beforeText);
        before = day.startOfDay();
    }
    History::Repository repo;
    QString error;
    int dropped = 0;
    if (!openHistory(ctx, repo, &error) || !repo.prune(keep, before, &dropped, &error))
        return ctx.fail(error);
    ctx.outLine(QStringLiteral("%1 version(s) dropped").arg(dropped));
    return 0;
}

int runHistory(CliContext &ctx)
{
    const QString sub = ctx.args.isEmpty() ? QString() : ctx.args.first();
    if (sub == QLatin1String("show") || sub == QLatin1String("restore") || sub == QLatin1String("prune")) {
        ctx.args.removeFirst();
        if (sub == QLatin1String("show"))
            return runShow(ctx);
        if (sub == QLatin1String("restore"))
            return runRestore(ctx);
        return runPrune(ctx);
    }
    return runList(ctx);
}

const CliRegistration historyReg{
    {"history",
     "[--limit N] [--json] | show REV [--against REV|current] | restore REV [--dry-run] | prune (--keep N | --before "
     "YYYY-MM-DD)",
     "the saved versions of the configuration (history.git): list, show, restore, prune", &runHistory}};

} // namespace
