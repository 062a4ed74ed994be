// check: what is inconsistent in the configuration, one finding a line or as JSON.
#include "cli/CliCommand.h"
#include "cli/ConfigChange.h"
#include "cli/JsonWriter.h"
#include "config/ConfigCheck.h"
#include "config/ConfigDocument.h"

namespace {

int runCheck(CliContext &ctx)
{
    const bool json = Cli::takeSwitch(ctx.args, QStringLiteral("--json"));
    Cli::endOptions(ctx.args);
    if (!ctx.args.isEmpty())
        return ctx.usageError(QStringLiteral("unexpected argument ") + ctx.args.first());
    ConfigDocument doc;
    doc.takeFingerprint = false; // nothing is saved
    QString error;
    if (!ConfigChange::loadExisting(ctx, &doc, &error))
        return ctx.fail(error);
    const QList<CheckFinding> findings = ConfigCheck::run(doc, ctx.codec);
    if (json) {
        JsonWriter j;
        j.beginArray();
        for (const CheckFinding &f : findings) {
            j.beginObject();
            j.value("level", f.levelText());
            j.value("code", f.code);
            j.value("item", f.itemAddress());
            j.value("message", f.message);
            j.endObject();
        }
        j.endArray();
        ctx.out(j.bytes() + '\n');
    } else {
        QString text;
        for (const CheckFinding &f : findings)
            text += f.line() + QLatin1Char('\n');
        ctx.out(text.toUtf8());
    }
    return ConfigCheck::hasError(findings) ? 1 : 0;
}

const CliRegistration checkReg{{"check", "[--json]", "report what is inconsistent in the configuration", &runCheck}};

} // namespace
