// apply: makes a JSON object of dump's form the configuration, or with --merge takes a set
// of changes into it; --expect-sha256 guards the write, --json answers with what changed.
#include "cli/CliCommand.h"
#include "cli/ConfigChange.h"
#include "cli/ConfigDiff.h"
#include "cli/ConfigJsonReader.h"
#include "cli/ItemKeys.h"
#include "cli/JsonWriter.h"
#include "config/ConfigCheck.h"
#include "config/ConfigDocument.h"
#include "config/GroupDataFolder.h"
#include "config/Sha256.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>

namespace {

using ItemKeys::Kind;

// The names `set` and `add` would refuse: a group without a name, and a name that another
// user, group or account already has (letter case ignored). What the configuration already
// holds stays acceptable, so that a dump of it can be applied back.
QString refusedName(const ConfigDocument &current, const ConfigDocument &wanted, const TextCodec &codec)
{
    for (const auto &[kind, plural] : {std::pair{Kind::Pop, "pops"}, std::pair{Kind::User, "users"},
                                       std::pair{Kind::Group, "groups"}}) {
        QHash<QString, int> before;
        const int had = ItemKeys::count(current, kind);
        before.reserve(had);
        for (int i = 0; i < had; ++i)
            ++before[codec.decode(ItemKeys::itemName(current, kind, i)).toCaseFolded()];
        struct Same
        {
            int first = 0; // the first item of that name
            int count = 0;
        };
        QHash<QString, Same> after;
        const int n = ItemKeys::count(wanted, kind);
        after.reserve(n);
        const char *key = kind == Kind::Pop ? "UserID" : "Name";
        for (int i = 0; i < n; ++i) {
            const QByteArray name = ItemKeys::itemName(wanted, kind, i);
            const QString folded = codec.decode(name).toCaseFolded();
            Same &same = after[folded];
            if (same.count++ == 0)
                same.first = i;
            // A structured binding is captured through a copy of its own (clang before 16).
            const auto path = [&, items = plural] {
                return QStringLiteral("%1[%2].%3").arg(QLatin1String(items)).arg(i).arg(QLatin1String(key));
            };
            if (kind == Kind::Group && name.isEmpty() && before.value(folded) == 0)
                return path() + QStringLiteral(": a group needs a name");
            if (same.count > 1 && same.count > before.value(folded))
                return path() + QStringLiteral(": %1 is also the name of %2[%3]")
                                    .arg(ConfigCheck::quoted(codec.decode(name)), QLatin1String(plural))
                                    .arg(same.first);
        }
    }
    return {};
}

// The server and the items a merge touched, removed or made, before and after: what differs
// between the whole configurations is what differs between these, found in time that
// grows with the change rather than with the configuration.
template <typename T>
void cloneInto(std::vector<std::unique_ptr<T>> &to, const T &item)
{
    to.push_back(std::make_unique<T>(item));
}

void scoped(const ConfigDocument &current, const ConfigDocument &wanted, const MergeScope &scope,
            ConfigDocument *before, ConfigDocument *after)
{
    before->server = current.server;
    after->server = wanted.server;
    const auto pick = [&](const auto &from, const auto &to, auto &smallFrom, auto &smallTo, Kind kind) {
        const MergeScope::Items &s = scope.items[int(kind)];
        // Both in file order, as the whole configurations hold them.
        std::vector<char> before = s.removed;
        for (size_t i = 0; i < s.origin.size(); ++i) {
            if (s.origin[i] < 0 || s.touched[i])
                cloneInto(smallTo, *to[i]);
            if (s.origin[i] >= 0 && s.touched[i])
                before[size_t(s.origin[i])] = 1;
        }
        for (size_t i = 0; i < before.size(); ++i) {
            if (before[i])
                cloneInto(smallFrom, *from[i]);
        }
    };
    pick(current.pops, wanted.pops, before->pops, after->pops, Kind::Pop);
    pick(current.users, wanted.users, before->users, after->users, Kind::User);
    pick(current.groups, wanted.groups, before->groups, after->groups, Kind::Group);
}

QByteArray sha256Hex(const QByteArray &bytes)
{
    return Sha256::hex(bytes);
}

int runApply(CliContext &ctx)
{
    const bool dryRun = Cli::takeSwitch(ctx.args, QStringLiteral("--dry-run"));
    const bool merge = Cli::takeSwitch(ctx.args, QStringLiteral("--merge"));
    const bool json = Cli::takeSwitch(ctx.args, QStringLiteral("--json"));
    QString findingLevel;
    bool refuseFindings = false;
    if (!Cli::takeOption(ctx.args, QStringLiteral("--fail-on-findings"), &findingLevel, &refuseFindings))
        return ctx.usageError(QStringLiteral("option --fail-on-findings needs error or warning"));
    if (refuseFindings && findingLevel != QLatin1String("error") && findingLevel != QLatin1String("warning"))
        return ctx.usageError(QStringLiteral("--fail-on-findings takes error or warning, not ") + findingLevel);
    QString expected;
    bool guarded = false;
    if (!Cli::takeOption(ctx.args, QStringLiteral("--expect-sha256"), &expected, &guarded))
        return ctx.usageError(QStringLiteral("option --expect-sha256 needs a value"));
    if (guarded && !QRegularExpression(QStringLiteral("^[0-9a-fA-F]{64}$")).match(expected).hasMatch())
        return ctx.usageError(QStringLiteral("--expect-sha256 needs 64 hexadecimal digits, not ") + expected);
    if (QString unknown; !Cli::endOptions(ctx.args, &unknown))
        return ctx.usageError(QStringLiteral("unknown option ") + unknown);
    if (ctx.args.size() != 1)
        return ctx.usageError(ctx.args.isEmpty() ? QStringLiteral("no file given")
                                                 : QStringLiteral("unexpected argument ") + ctx.args.at(1));
    QByteArray input;
    QString error;
    if (!ConfigChange::readFile(ctx.args.first(), &input, &error))
        return ctx.fail(error);

    // Under the folder's lock from the load to the save.
    Cli::ConfigEdit config(ctx);
    // The file's digest only where something asks for it: the guard, or whether the result
    // differs (for --json and --fail-on-findings; a whole configuration is written anyway).
    config.doc.keepSha256 = guarded || json || refuseFindings;
    if (!config.load(&error))
        return ctx.fail(error);
    ConfigDocument &doc = config.doc;
    if (guarded && doc.sha256 != expected.toLatin1().toLower())
        return ctx.fail(QStringLiteral("The configuration changed since it was read: %1 no longer has the SHA-256 %2; "
                                       "nothing was written")
                            .arg(SafeFile::displayPath(ctx.configPath()), expected.toLower()));

    ConfigDocument wanted;
    QList<QByteArray> removedData;
    MergeScope scope;
    if (merge ? !readConfigMerge(input, doc, ctx.codec, &wanted, &removedData, &error, &scope)
              : !readConfigJson(input, doc, ctx.codec, &wanted, &error))
        return ctx.fail(error);
    if (const QString refused = refusedName(doc, wanted, ctx.codec); !refused.isEmpty())
        return ctx.fail(refused);
    wanted.oldFormat = false;
    // Group data goes only with a name that names a folder inside "data", as remove
    // --with-data rules; a name refused there keeps the group too.
    for (const QByteArray &name : std::as_const(removedData)) {
        QString refused;
        if (GroupDataFolder::path(ctx.folder, ctx.codec.decode(name), &refused).isEmpty())
            return ctx.fail(refused);
    }

    // A merge that changes nothing writes nothing: not even a file in the current format for
    // one in an older layout. A whole configuration is written as normalize writes it.
    QList<ConfigDiff::Entry> changes;
    bool changed = false;
    QByteArray rendered;
    QByteArray renderedSha256;
    if (merge) {
        ConfigDocument before, after;
        scoped(doc, wanted, scope, &before, &after);
        changes = ConfigDiff::compare(before, after, ctx.codec);
        changed = !changes.isEmpty();
        if (changed && !dryRun)
            rendered = wanted.render();
    } else {
        rendered = wanted.render();
        if (json || refuseFindings) {
            renderedSha256 = sha256Hex(rendered);
            changed = renderedSha256 != doc.sha256;
        }
        if (json || dryRun)
            changes = ConfigDiff::compare(doc, wanted, ctx.codec);
    }
    // Findings the result has and the configuration had not: with --fail-on-findings, one at
    // that level or above refuses the whole change.
    QList<CheckFinding> findings;
    if (json || refuseFindings) {
        findings = ConfigCheck::run(wanted, ctx.codec);
        const auto counts = [&](const CheckFinding &f) {
            return f.level == CheckFinding::Level::Error || findingLevel == QLatin1String("warning");
        };
        // The configuration's own findings matter only when the result has some to weigh.
        if (refuseFindings && changed && std::any_of(findings.cbegin(), findings.cend(), counts)) {
            const auto key = [](const CheckFinding &f) {
                return f.levelText() + QLatin1Char(' ') + f.code + QLatin1Char(' ') + f.itemAddress() + QLatin1Char(' ') + f.message;
            };
            QSet<QString> had;
            for (const CheckFinding &f : ConfigCheck::run(doc, ctx.codec))
                had.insert(key(f));
            QStringList fresh;
            for (const CheckFinding &f : std::as_const(findings)) {
                if (counts(f) && !had.contains(key(f)))
                    fresh.append(f.line());
            }
            if (!fresh.isEmpty())
                return ctx.fail(QStringLiteral("The change would leave new findings; nothing was written:\n")
                                + fresh.join(QLatin1Char('\n')));
        }
    }
    const bool write = !dryRun && (changed || !merge);
    if (write) {
        doc.server = wanted.server;
        doc.pops = std::move(wanted.pops);
        doc.users = std::move(wanted.users);
        doc.groups = std::move(wanted.groups);
        doc.oldFormat = false;
        if (!config.saveBytes(rendered, &error))
            return ctx.fail(error);
    }
    QString after;
    if (write) {
        for (const QByteArray &name : std::as_const(removedData)) {
            QString why;
            if (!GroupDataFolder::remove(ctx.folder, ctx.codec.decode(name), &why))
                after += QStringLiteral("The group %1 was removed, but not all of its data: %2\n")
                             .arg(ConfigCheck::quoted(ctx.codec.decode(name)), why);
        }
    }
    if (json) {
        QByteArray out = "{\n  \"changed\": ";
        out += changed ? "true" : "false";
        out += ",\n  \"sha256\": \"" + (write ? (renderedSha256.isEmpty() ? sha256Hex(rendered) : renderedSha256) : doc.sha256) + "\",\n  \"changes\": ";
        out += ConfigDiff::json(changes, ctx.codec).trimmed().replace("\n", "\n  ");
        // The findings of check on the result (as check --json gives them).
        JsonWriter f;
        f.beginArray();
        for (const CheckFinding &finding : std::as_const(findings)) {
            f.beginObject();
            f.value("level", finding.levelText());
            f.value("code", finding.code);
            f.value("item", finding.itemAddress());
            f.value("message", finding.message);
            f.endObject();
        }
        f.endArray();
        out += ",\n  \"findings\": " + f.bytes().trimmed().replace("\n", "\n  ");
        out += "\n}\n";
        ctx.out(out);
    } else if (dryRun) {
        ctx.out(ConfigDiff::text(changes, ctx.codec));
    }
    if (!after.isEmpty())
        return ctx.fail(after.trimmed());
    return 0;
}

const CliRegistration applyReg{{"apply", "FILE [--merge] [--expect-sha256 HEX] [--fail-on-findings LEVEL] [--dry-run] [--json]",
                                "make a JSON object of dump's form the configuration, or take changes into it",
                                &runApply}};

} // namespace
