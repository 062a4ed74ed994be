#include "cli/CliCommand.h"

#include "config/ConfigDocument.h"
#include "platform/LargeBuffer.h"
#include "platform/ProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QList<CliCommand> &registry()
{
    static QList<CliCommand> list;
    return list;
}

void writeStderr(const QString &text)
{
    const QByteArray bytes = Cli::escapeControls(text).toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fputc('\n', stderr);
}
} // namespace

CliRegistration::CliRegistration(const CliCommand &command)
{
    registry().append(command);
}

QString CliContext::configPath() const
{
    return ProgramFolder::filePath(folder, fileName);
}

int CliContext::fail(const QString &message) const
{
    writeStderr(message);
    return 1;
}

void CliContext::warn(const QString &message) const
{
    writeStderr(message);
}

int CliContext::usageError(const QString &message) const
{
    if (!message.isEmpty())
        writeStderr(QStringLiteral("quilmora-config: ") + message);
    if (const CliCommand *c = Cli::find(command)) {
        writeStderr(QStringLiteral("usage: quilmora-config [--folder DIR] [--file NAME] [--encoding NAME] %1 %2")
                        .arg(QString::fromLatin1(c->name), QString::fromLatin1(c->usage))
                        .trimmed());
    } else {
        writeStderr(Cli::usageLine());
    }
    return 2;
}

void CliContext::out(const QByteArray &bytes) const
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

void CliContext::outLine(const QString &text) const
{
    out(text.toUtf8() + '\n');
}

namespace Cli {

const QList<CliCommand> &commands()
{
    return registry();
}

const CliCommand *find(const QString &name)
{
    for (const CliCommand &c : registry()) {
        if (name == QLatin1String(c.name))
            return &c;
    }
    return nullptr;
}

QString usageLine()
{
    return QStringLiteral("usage: quilmora-config [--folder DIR] [--file NAME] [--encoding NAME] COMMAND [ARGS]");
}

bool takeOption(QStringList &args, const QString &name, QString *value, bool *present)
{
    if (present)
        *present = false;
    const QString prefix = name + QLatin1Char('=');
    // Nothing after "--" is an option.
    const qsizetype end = optionsEnd(args);
    for (qsizetype i = 0; i < end; ++i) {
        if (args[i] == name) {
            if (present)
                *present = true;
            if (i + 1 >= end)
                return false;
            *value = args[i + 1];
            args.remove(i, 2);
            return true;
        }
        if (args[i].startsWith(prefix)) {
            if (present)
                *present = true;
            *value = args[i].mid(prefix.size());
            args.remove(i);
            return true;
        }
    }
    return true;
}

bool takeSwitch(QStringList &args, const QString &name)
{
    bool found = false;
    for (qsizetype i = 0; i < optionsEnd(args);) {
        if (args[i] == name) {
            args.remove(i);
            found = true;
        } else {
            ++i;
        }
    }
    return found;
}

qsizetype optionsEnd(const QStringList &args)
{
    const qsizetype i = args.indexOf(QStringLiteral("--"));
    return i < 0 ? args.size() : i;
}

bool endOptions(QStringList &args, QString *unknownOption)
{
    const qsizetype end = optionsEnd(args);
    if (unknownOption) {
        for (qsizetype i = 0; i < end; ++i) {
            if (args[i].startsWith(QLatin1String("--"))) {
                *unknownOption = args[i];
                return false;
            }
        }
    }
    if (end < args.size())
        args.remove(end);
    return true;
}

QString missingConfigurationMessage(const QString &path)
{
    return QStringLiteral("No configuration file at ") + path;
}

std::optional<int> checkConfigurationExists(const CliContext &ctx)
{
    const auto is = [&ctx](const char *name) { return ctx.command == QLatin1String(name); };
    if (is("wizard") || is("pull"))
        return std::nullopt;
    // The key table is the program's own; no configuration is read.
    if (is("schema"))
        return std::nullopt;
    // The history outlives the file: a deleted configuration can be restored from it.
    if (is("history"))
        return QFileInfo(ctx.folder).isDir() ? std::nullopt : std::optional<int>(ctx.fail(QStringLiteral("No such folder: ") + ctx.folder));
    // diff reports a file it cannot read with status 2, as diff(1) does.
    const int status = is("diff") ? 2 : 1;
    if (!QFileInfo(ctx.folder).isDir()) {
        ctx.fail(QStringLiteral("No such folder: ") + ctx.folder);
        return status;
    }
    if (is("push"))
        return std::nullopt;
    // Something that is there but no regular file (a FIFO, a folder) is the loader's to refuse.
    if (!QFileInfo::exists(ctx.configPath())) {
        ctx.fail(missingConfigurationMessage(ctx.configPath()));
        return status;
    }
    return std::nullopt;
}

bool readNamedFile(const QString &path, QByteArray *bytes, QString *error)
{
    bytes->clear();
    const bool standardInput = path == QLatin1String("-");
    const QString name = standardInput ? QStringLiteral("Standard input") : path;
    // Blocking, so a pipe (a process substitution, say) is read to its end.
    const int fd = standardInput ? STDIN_FILENO : ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        if (fd >= 0 && !standardInput)
            ::close(fd);
        *error = QStringLiteral("Cannot open file ") + path;
        return false;
    }
    const auto tooLarge = [&] {
        bytes->clear();
        *error = QStringLiteral("%1 is larger than %2 MB: not read").arg(name).arg(InputLimit >> 20);
        return false;
    };
    bool ok = true;
    if (S_ISREG(st.st_mode) && st.st_size > InputLimit) {
        ok = tooLarge();
    } else {
        if (S_ISREG(st.st_mode) && st.st_size > 0) {
            bytes->reserve(qsizetype(st.st_size));
            // Its pages mapped at once, not one fault each as the bytes arrive (a large JSON
            // configuration for apply).
            LargeBuffer::adviseHugePages(bytes->data(), bytes->capacity());
            LargeBuffer::populate(bytes->data(), bytes->capacity());
        }
        // A device or a pipe without end (/dev/zero) is read only up to the limit.
        char buffer[64 * 1024];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                bytes->clear();
                *error = QStringLiteral("Cannot read ") + (standardInput ? QStringLiteral("standard input") : path);
                ok = false;
                break;
            }
            if (n == 0)
                break;
            if (bytes->size() + n > InputLimit) {
                ok = tooLarge();
                break;
            }
            bytes->append(buffer, qsizetype(n));
        }
    }
    if (!standardInput)
        ::close(fd);
    return ok;
}

bool readPasswordFile(const QString &path, QByteArray *password, QString *error)
{
    QByteArray bytes;
    if (!readNamedFile(path, &bytes, error))
        return false;
    if (bytes.endsWith("\r\n"))
        bytes.chop(2);
    else if (bytes.endsWith('\n') || bytes.endsWith('\r'))
        bytes.chop(1);
    *password = bytes;
    return true;
}

QString escapeControls(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const bool control = (u < 0x20 && u != '\r' && u != '\n') || (u >= 0x7f && u < 0xa0);
        if (control)
            out += QStringLiteral("\\x%1").arg(uint(u), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

bool loadConfiguration(const CliContext &ctx, ConfigDocument &doc, QString *error)
{
    // Only the folder's own configuration file reads the files an old-format file names; any
    // other (a server's local copy named with --file) reads none.
    const QString own = QFileInfo(QDir(ctx.folder).filePath(QStringLiteral("quilmora.ini"))).canonicalFilePath();
    if (!ctx.fileNameGiven || (own.isEmpty() ? false : QFileInfo(ctx.configPath()).canonicalFilePath() == own))
        doc.linkedFileMode = LinkedFiles::Mode::Inside;
    else
        doc.linkedFileMode = LinkedFiles::Mode::None;
    if (!doc.load(ctx.configPath(), ctx.codec, error))
        return false;
    const QString skipped = doc.linkedFiles.message();
    if (!skipped.isEmpty())
        ctx.warn(skipped);
    return true;
}

bool ConfigEdit::load(QString *error)
{
    if (!m_lock.acquire(m_ctx.folder, LockWaitMs, error))
        return false;
    m_loaded = loadConfiguration(m_ctx, doc, error);
    return m_loaded;
}

bool ConfigEdit::loadForReplace(QString *error, QString *unreadable)
{
    unreadable->clear();
    if (!m_lock.acquire(m_ctx.folder, LockWaitMs, error))
        return false;
    if (!loadConfiguration(m_ctx, doc, unreadable)) {
        doc = ConfigDocument();
        doc.fingerprint = SafeFile::fingerprintOf(m_ctx.configPath());
    }
    m_loaded = true;
    return true;
}

bool ConfigEdit::save(QString *error)
{
    // Rendered straight into the file, under the same checks as saveBytes().
    if (!m_loaded)
        return false;
    QString warning;
    if (!doc.saveChecked(m_ctx.configPath(), doc.fingerprint, error, &warning))
        return false;
    if (!warning.isEmpty())
        m_ctx.warn(warning);
    return true;
}

bool ConfigEdit::saveBytes(const QByteArray &bytes, QString *error)
{
    // A configuration whose items could not be loaded is never saved: that would delete them.
    if (!m_loaded)
        return false;
    QString warning;
    if (!ConfigDocument::saveBytesChecked(m_ctx.configPath(), bytes, doc.fingerprint, error, &warning))
        return false;
    if (!warning.isEmpty())
        m_ctx.warn(warning);
    return true;
}

} // namespace Cli
