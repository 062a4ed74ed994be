#include "cli/ConfigChange.h"

#include "config/ConfigDocument.h"

#include <QDir>
#include <QFileInfo>

namespace ConfigChange {

namespace {
// The folder and the file must be there: a mistyped name is not a new configuration (the
// other file that diff compares with).
bool exists(const QString &folder, const QString &path, QString *error)
{
    const QFileInfo dir(folder);
    if (!dir.isDir()) {
        *error = QStringLiteral("No such folder: ") + QDir::toNativeSeparators(dir.absoluteFilePath());
        return false;
    }
    const QFileInfo file(path);
    if (!file.exists()) {
        *error = QStringLiteral("No configuration file at ") + QDir::toNativeSeparators(file.absoluteFilePath());
        return false;
    }
    return true;
}
} // namespace

bool loadExisting(const QString &folder, const QString &path, const TextCodec &codec, ConfigDocument *doc,
                  QString *error)
{
    return exists(folder, path, error) && doc->load(path, codec, error);
}


// The folder and the configuration of the command line were checked before any command ran
// (Cli::checkConfigurationExists).
bool loadExisting(const CliContext &ctx, ConfigDocument *doc, QString *error)
{
    return Cli::loadConfiguration(ctx, *doc, error);
}

int editConfiguration(CliContext &ctx, const std::function<void(ConfigDocument &, Edit &)> &change)
{
    QString error;
    // Under the folder's lock from load to save; the save refuses a file another program
    // changed in between.
    Cli::ConfigEdit config(ctx);
    if (!config.load(&error))
        return ctx.fail(error);
    Edit edit;
    change(config.doc, edit);
    if (!edit.error.isEmpty())
        return ctx.fail(edit.error);
    if (edit.write && !config.save(&error))
        return ctx.fail(error);
    if (edit.afterWrite) {
        const QString after = edit.afterWrite();
        if (!after.isEmpty()) {
            ctx.out(edit.output);
            return ctx.fail(after);
        }
    }
    ctx.out(edit.output);
    return 0;
}

bool readFile(const QString &path, QByteArray *bytes, QString *error)
{
    return Cli::readNamedFile(path, bytes, error);
}

} // namespace ConfigChange
