// test: connection tests of the incoming accounts and the outgoing mail server.
#include "cli/CliCommand.h"
#include "cli/CliHelp.h"
#include "cli/ConfigChange.h"
#include "config/ConfigDocument.h"
#include "config/ItemKeys.h"
#include "services/ConnectionTest.h"

#include <cmath>

namespace {

const char TestUsage[] = "[ITEM...] [--json] [--steps] [--timeout S] [--step-timeout S] [--jobs N] | --send-test-message";

// The command's help (`test --help`, `help test`), after its usage line and summary.
const CliHelpRegistration testHelp{"test",
            "Tests the connection to every incoming account (POP3) and to the outgoing mail server\n"
            "(SMTP), or to the ITEMs named: pop:USERID/HOST, pop:#N, server.smtp (or smtp).\n"
            "A POP3 test resolves the host, connects, reads the greeting, asks CAPA (an offered\n"
            "STLS is reported, never a failure), logs in with USER and PASS, asks STAT and ends\n"
            "with QUIT. An SMTP test resolves, connects, reads the greeting, sends EHLO (HELO when\n"
            "EHLO is refused) and lists the extensions, logs in with AUTH LOGIN or PLAIN when a\n"
            "user is set, and ends with QUIT. No mail is fetched, deleted or sent.\n"
            "Passwords are never printed: a command carrying one shows ****, and so does a reply\n"
            "that echoes it.\n"
            "\n"
            "Verdicts: works, login refused, no usable login, host unknown, unreachable,\n"
            "no answer in time, not a POP3 server / not an SMTP server, closed early.\n"
            "\n"
            "Options:\n"
            "  --json               one JSON array: verdict, failed step, time and each step\n"
            "                       with the server's words\n"
            "  --steps              print each test's steps under the table\n"
            "  --timeout S          the limit of each test as a whole, in seconds (default 15)\n"
            "  --step-timeout S     the limit of each step, in seconds (default 10)\n"
            "  --jobs N             tests run side by side, 1 to 8 (default 8)\n"
            "  --send-test-message  send one test mail through the outgoing mail server to the\n"
            "                       administrator's address (AdminEmail) instead of testing\n"
            "\n"
            "Exit status:\n"
            "  0  every test works (the test message was sent)\n"
            "  1  something does not work, or the configuration cannot be read\n"
            "  2  usage error\n"};

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

const CliRegistration testReg{{"test", TestUsage, "test the connections to the incoming accounts and the outgoing mail server",
                               &runTest}};

} // namespace
