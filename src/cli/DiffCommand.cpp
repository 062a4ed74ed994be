// diff: what differs between the configuration and another configuration file.
#include "cli/CliCommand.h"
#include "cli/ConfigDiff.h"
#include "cli/ConfigChange.h"
#include "cli/JsonWriter.h"
#include "config/ConfigDocument.h"

#include <QDir>
#include <QFileInfo>

namespace {

int runDiff(CliContext &ctx)
{
    const bool json = Cli::takeSwitch(ctx.args, QStringLiteral("--json"));
    Cli::endOptions(ctx.args);
    if (ctx.args.size() != 1)
        return ctx.usageError(ctx.args.isEmpty() ? QStringLiteral("no file to compare with")
                                                 : QStringLiteral("unexpected argument ") + ctx.args.at(1));
    // As diff(1) does: 0 the same, 1 different, 2 trouble (here also a file that cannot be read).
    ConfigDocument mine, other;
    QString error;
    if (!ConfigChange::loadExisting(ctx, &mine, &error)) {
        ctx.fail(error);
        return 2;
    }
    const QString otherPath = QDir::current().absoluteFilePath(ctx.args.first());
    if (!ConfigChange::loadExisting(QFileInfo(otherPath).absolutePath(), otherPath, ctx.codec, &other, &error)) {
        ctx.fail(error);
        return 2;
    }
    // The changes go out as they are found, in pieces of about 64 KB: the bytes of
    // ConfigDiff::json() or text(), without holding them all (a change to every item of a
    // large configuration would take more than the configurations themselves).
    constexpr qsizetype kPiece = 64 * 1024;
    qsizetype changes = 0;
    JsonWriter j;
    QByteArray text;
    if (json)
        j.beginArray();
    ConfigDiff::compare(mine, other, ctx.codec, [&](const ConfigDiff::Entry &e) {
        ++changes;
        if (json) {
            ConfigDiff::writeJson(j, e, ctx.codec);
            if (j.size() >= kPiece) {
                ctx.out(j.bytes());
                j.discardWritten();
            }
        } else {
            text += ConfigDiff::describe(e, ctx.codec).toUtf8();
            text += '\n';
            if (text.size() >= kPiece) {
                ctx.out(text);
                text.resize(0);
            }
        }
    });
    if (json) {
        j.endArray();
        ctx.out(j.bytes() + '\n');
    } else {
        ctx.out(text);
    }
    return changes == 0 ? 0 : 1;
}

const CliRegistration diffReg{{"diff", "OTHER [--json]", "show what differs from another configuration file", &runDiff}};

} // namespace
