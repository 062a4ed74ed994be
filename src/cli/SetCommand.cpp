// set: changes one key of the server or an item.
#include "cli/CliCommand.h"
#include "cli/ConfigChange.h"
#include "cli/ItemKeys.h"
#include "config/ConfigDocument.h"
#include "config/TextLines.h"

namespace {

int runSet(CliContext &ctx)
{
    QString valueFile;
    bool fromFile = false;
    if (!Cli::takeOption(ctx.args, QStringLiteral("--value-file"), &valueFile, &fromFile))
        return ctx.usageError(QStringLiteral("option --value-file needs a value"));
    Cli::endOptions(ctx.args);
    if (ctx.args.isEmpty())
        return ctx.usageError(QStringLiteral("no key given"));
    if (fromFile && ctx.args.size() > 1)
        return ctx.usageError(QStringLiteral("a value and --value-file both given"));
    const QString target = ctx.args.takeFirst();
    QStringList values = ctx.args;
    if (fromFile) {
        QByteArray bytes;
        QString error;
        if (!ConfigChange::readFile(valueFile, &bytes, &error))
            return ctx.fail(error);
        // Decoding drops a leading byte-order mark: refuse it here, where it can still be seen.
        // (A character set without U+FEFF encodes it as one replacement byte: nothing to refuse.)
        const QByteArray mark = ctx.codec.encode(QString(QChar(0xFEFF)));
        if (mark.size() > 1 && bytes.startsWith(mark))
            return ctx.fail(target + QStringLiteral(": a text cannot begin with U+FEFF (it would be read as a byte-order mark)"));
        // Lines joined by CR LF; a final line break ends the last line.
        values = {ctx.codec.decode(TextLines::normalizeBreaks(bytes.endsWith("\r\n") ? bytes.chopped(2)
                                                               : bytes.endsWith('\n') || bytes.endsWith('\r')
                                                                   ? bytes.chopped(1)
                                                                   : bytes))};
    }
    return ConfigChange::editConfiguration(ctx, [&](ConfigDocument &doc, ConfigChange::Edit &edit) {
        ItemKeys::Address a;
        if (!ItemKeys::resolve(target, doc, ctx.codec, &a, &edit.error))
            return;
        if (a.key < 0) {
            edit.error = QStringLiteral("No key given: %1.KEY").arg(target);
            return;
        }
        ItemKeys::assign(doc, a.kind, a.index, a.key, values, ctx.codec, &edit.error);
    });
}

const CliRegistration setReg{{"set", "ITEM.KEY (VALUE... | --value-file F)", "set a key of the server or an item", &runSet}};

} // namespace
