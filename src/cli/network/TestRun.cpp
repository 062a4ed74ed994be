// test: the connection tests themselves (in the module cli-network.so).
#include "cli/CliCommand.h"
#include "cli/ConfigChange.h"
#include "cli/NetworkRun.h"
#include "config/ConfigDocument.h"
#include "config/ItemKeys.h"
#include "services/ConnectionTest.h"

#include <cmath>

namespace {

// Seconds as given on the command line ("15", "0.5") in milliseconds; 0 when not valid.
int parseSeconds(const QString &text)
{
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    if (!ok || !std::isfinite(seconds) || seconds <= 0 || seconds > 3600)
        return 0;
    return qMax(1, int(std::lround(seconds * 1000)));
}

int runTest(CliContext &ctx)
{
    const bool json = Cli::takeSwitch(ctx.args, QStringLiteral("--json"));
    const bool steps = Cli::takeSwitch(ctx.args, QStringLiteral("--steps"));
    const bool sendMail = Cli::takeSwitch(ctx.args, QStringLiteral("--send-test-message"));
    ConnectionTest::Options options;
    for (const char *name : {"--timeout", "--step-timeout", "--jobs"}) {
        const QString option = QString::fromLatin1(name);
        QString value;
        bool present = false;
        if (!Cli::takeOption(ctx.args, option, &value, &present))
            return ctx.usageError(QStringLiteral("option %1 needs a value").arg(option));
        if (!present)
            continue;
        if (option == QLatin1String("--jobs")) {
            bool ok = false;
            const int jobs = value.toInt(&ok);
            if (!ok || jobs < 1 || jobs > ConnectionTest::Options::MaxJobs)
                return ctx.usageError(QStringLiteral("--jobs takes a number from 1 to %1").arg(ConnectionTest::Options::MaxJobs));
            options.jobs = jobs;
            continue;
        }
        const int ms = parseSeconds(value);
        if (ms == 0)
            return ctx.usageError(QStringLiteral("%1 takes a number of seconds above 0, up to 3600").arg(option));
        (option == QLatin1String("--timeout") ? options.testTimeoutMs : options.stepTimeoutMs) = ms;
    }
    QStringList items;
    bool positional = false;
    for (const QString &arg : std::as_const(ctx.args)) {
        if (!positional && arg == QLatin1String("--")) {
            positional = true;
            continue;
        }
        if (!positional && arg.startsWith(QLatin1Char('-')))
            return ctx.usageError(QStringLiteral("unknown option ") + arg);
        items.append(arg);
    }
    if (sendMail && !items.isEmpty())
        return ctx.usageError(QStringLiteral("--send-test-message takes no ITEM"));

    ConfigDocument doc;
    QString error;
    if (!ConfigChange::loadExisting(ctx, &doc, &error))
        return ctx.fail(error);

    if (sendMail) {
        QString recipient;
        if (!ConnectionTest::sendTestMessage(doc.server, ctx.codec, options, {}, &recipient, &error))
            return ctx.fail(error);
        ctx.outLine(Cli::escapeControls(QStringLiteral("Test message sent to ") + recipient));
        return 0;
    }

    QList<ConnectionTest::Target> targets;
    if (items.isEmpty()) {
        targets = ConnectionTest::targets(doc, ctx.codec);
    } else {
        QSet<int> seen; // an item named twice is tested once
        for (const QString &text : std::as_const(items)) {
            int index = -1;
            if (text.compare(QLatin1String("smtp"), Qt::CaseInsensitive) == 0) {
                index = -1;
            } else {
                ItemKeys::Address address;
                if (!ItemKeys::resolve(text, doc, ctx.codec, &address, &error, true, true))
                    return ctx.fail(error);
                if (address.kind == ItemKeys::Kind::Pop && address.key < 0)
                    index = address.index;
                else if (!(address.kind == ItemKeys::Kind::Server && address.smtp))
                    return ctx.fail(QStringLiteral("Not a mail server to test: %1 (name pop:USERID/HOST, pop:#N or server.smtp)")
                                        .arg(text));
            }
            if (seen.contains(index))
                continue;
            seen.insert(index);
            targets.append(index < 0 ? ConnectionTest::smtpTarget(doc.server, ctx.codec)
                                     : ConnectionTest::popTarget(doc, index, ctx.codec));
        }
    }

    const QList<ConnectionTest::Result> results = ConnectionTest::runAll(targets, options);
    if (json) {
        ctx.out(ConnectionTest::json(results));
    } else {
        QString text = ConnectionTest::table(results);
        if (steps) {
            for (const ConnectionTest::Result &r : results)
                text += QLatin1Char('\n') + ConnectionTest::stepsText(r);
        }
        ctx.out(Cli::escapeControls(text).toUtf8());
    }
    const bool allWork = std::all_of(results.begin(), results.end(),
                                     [](const ConnectionTest::Result &r) { return r.works(); });
    return allWork ? 0 : 1;
}

} // namespace

int CliNetwork::runTest(CliContext &ctx)
{
    return ::runTest(ctx);
}
