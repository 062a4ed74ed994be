// The history of saves: who saves, the summary of a change, and the entry points of
// recording (HistoryRecord.cpp) and reading (the git module, HistoryGit.cpp).
#include "config/History.h"

#include "config/ConfigBytes.h"
#include "config/ConfigDiff.h"
#include "config/ConfigDocument.h"
#include "config/ConfigStore.h"
#include "config/HistoryGit.h"
#include "config/HistoryRecord.h"
#include "config/ItemKeys.h"
#include "config/TextCodec.h"
#include "platform/PrivateModule.h"

#include <QDir>

#include <cstdio>
#include <cstring>
#include <new>

namespace History {

namespace {

struct Identity
{
    QString program;
    QString login;
    std::function<void(const QString &)> sink;
};

Identity &identity()
{
    static Identity id;
    return id;
}

// ---------------------------------------------------------------------------------------
// The summary

QString plainName(const QByteArray &name)
{
    QString s = TextCodec().decode(name);
    for (QChar &c : s) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QLatin1Char('?');
    }
    return s;
}

QString describeEntries(const QList<ConfigDiff::Entry> &entries)
{
    if (entries.isEmpty())
        return QStringLiteral("no change");
    // One part per item, in the diff's order: the keys changed, or added / removed.
    QStringList parts;
    QString lastItem;
    QStringList keys;
    const auto flush = [&] {
        if (!lastItem.isEmpty() && !keys.isEmpty())
            parts.append(lastItem + QStringLiteral(": ") + keys.join(QStringLiteral(", ")));
        keys.clear();
        lastItem.clear();
    };
    for (const ConfigDiff::Entry &e : entries) {
        const QString item = e.kind == ItemKeys::Kind::Server
                                 ? QStringLiteral("server")
                                 : ItemKeys::kindWord(e.kind) + QLatin1Char(' ') + plainName(e.name);
        if (e.type != ConfigDiff::Entry::Type::Changed) {
            flush();
            parts.append(item + (e.type == ConfigDiff::Entry::Type::Added ? QStringLiteral(" added")
                                                                           : QStringLiteral(" removed")));
            continue;
        }
        if (item != lastItem)
            flush();
        lastItem = item;
        keys.append(QString::fromLatin1(ItemKeys::keys(e.kind)[e.key].name));
    }
    flush();
    constexpr int Shown = 5;
    if (parts.size() > Shown + 1) {
        const qsizetype more = parts.size() - Shown;
        parts = parts.mid(0, Shown);
        parts.append(QStringLiteral("and %1 more").arg(more));
    }
    return parts.join(QStringLiteral("; "));
}

bool loadDocument(const QByteArray &bytes, ConfigDocument &doc)
{
    QByteArray copy = bytes;
    QString error;
    if (!ConfigBytes::prepare(copy, QString(), &error))
        return false;
    return doc.loadFromStore(ConfigStore::fromBytes(std::move(copy)), TextCodec(), &error);
}

// The sections a change touched, for a summary without loading two whole large files: the
// stretch from the section holding the first differing byte to the end of the section
// holding the last one. Empty when the stretch is too large to be worth it.
bool touchedSections(const QByteArray &a, const QByteArray &b, QByteArray *ca, QByteArray *cb)
{
    const qsizetype limit = std::min(a.size(), b.size());
    qsizetype prefix = 0;
    while (prefix + 8 <= limit && std::memcmp(a.constData() + prefix, b.constData() + prefix, 8) == 0)
        prefix += 8;
    while (prefix < limit && a[prefix] == b[prefix])
        ++prefix;
    // The common end likewise, whole words first: a one-key edit leaves megabytes of it.
    qsizetype suffix = 0;
    const char *endA = a.constData() + a.size(), *endB = b.constData() + b.size();
    while (suffix + 8 <= limit - prefix && std::memcmp(endA - suffix - 8, endB - suffix - 8, 8) == 0)
        suffix += 8;
    while (suffix < limit - prefix && endA[-suffix - 1] == endB[-suffix - 1])
        ++suffix;
    // A line added at the end of a section differs first at the next section's line: the
    // section before the first differing byte is taken too.
    qsizetype start = prefix > 1 ? a.lastIndexOf("\n[", prefix - 2) : -1;
    start = start < 0 ? 0 : start + 1;
    if (start == 0)
        return false; // the SERVER section (and the counts) changed: the whole files
    const auto end = [](const QByteArray &x, qsizetype from) {
        const qsizetype e = x.indexOf("\n[", std::max<qsizetype>(from - 1, 0));
        return e < 0 ? x.size() : e + 1;
    };
    const qsizetype ea = end(a, a.size() - suffix), eb = end(b, b.size() - suffix);
    if (ea - start > (256 << 10) || eb - start > (256 << 10))
        return false;
    *ca = a.mid(start, ea - start);
    *cb = b.mid(start, eb - start);
    // A stretch holding a SERVER section would read as the server's settings.
    if (ca->toUpper().contains("[SERVER]") || cb->toUpper().contains("[SERVER]"))
        return false;
    static const QByteArray server = "[SERVER]\r\nVersion=1.05\r\n";
    ca->prepend(server);
    cb->prepend(server);
    return true;
}

} // namespace

QString repositoryPath(const QString &folder)
{
    return QDir(folder).filePath(QStringLiteral("history.git"));
}

void setProgram(const QString &program)
{
    identity().program = program;
}

QString program()
{
    return identity().program;
}

void setLogin(const QString &login)
{
    identity().login = login;
}

void setWarningSink(std::function<void(const QString &)> sink)
{
    identity().sink = std::move(sink);
}

bool enabled()
{
    return qEnvironmentVariable("QUILMORA_HISTORY").compare(QLatin1String("off"), Qt::CaseInsensitive) != 0;
}

QString summarize(const QByteArray &oldBytes, const QByteArray &newBytes)
{
    if (oldBytes == newBytes)
        return QStringLiteral("no change");
    ConfigDocument a, b;
    QByteArray ca, cb;
    const auto described = [](const QList<ConfigDiff::Entry> &entries) {
        return entries.isEmpty() ? QStringLiteral("rewritten, no setting changed") : describeEntries(entries);
    };
    if (!oldBytes.isEmpty() && touchedSections(oldBytes, newBytes, &ca, &cb) && loadDocument(ca, a)
        && loadDocument(cb, b))
        return described(ConfigDiff::compare(a, b, TextCodec()));
    a = ConfigDocument();
    b = ConfigDocument();
    if (!loadDocument(newBytes, b))
        return QStringLiteral("a file that is not a configuration");
    if (!oldBytes.isEmpty() && !loadDocument(oldBytes, a))
        return QStringLiteral("replaced a file that was not a configuration");
    if (oldBytes.isEmpty())
        return QStringLiteral("a new configuration");
    return described(ConfigDiff::compare(a, b, TextCodec()));
}

QString login()
{
    return identity().login;
}

bool recordChecked(const QString &path, const QByteArray &bytes, bool backupKept, QString *error)
{
    SavedVersion version;
    version.bytes = bytes;
    version.size = bytes.size();
    version.backupKept = backupKept;
    return recordSave(path, version, error);
}

bool recordChecked(const QString &path, const SavedVersion &version, QString *error)
{
    return recordSave(path, version, error);
}

void record(const QString &path, const QByteArray &bytes, bool backupKept)
{
    SavedVersion version;
    version.bytes = bytes;
    version.size = bytes.size();
    version.backupKept = backupKept;
    record(path, version);
}

void record(const QString &path, const SavedVersion &version)
{
    if (!enabled())
        return;
    QString error;
    try {
        if (recordChecked(path, version, &error))
            return;
    } catch (const std::bad_alloc &) {
        error = QStringLiteral("out of memory");
    }
    const QString text = QStringLiteral("The file was saved, but its version could not be kept in the history: ")
                         + error;
    if (identity().sink) {
        identity().sink(text);
    } else {
        const QByteArray b = text.toLocal8Bit() + '\n';
        std::fwrite(b.constData(), 1, size_t(b.size()), stderr);
    }
}

// ---------------------------------------------------------------------------------------
// Reading, through the git module

std::unique_ptr<GitBackend> loadGitBackend(QString *error)
{
    const auto create = reinterpret_cast<GitFactory>(PrivateModule::resolve(GitModuleName, GitFactoryName, error));
    if (!create)
        return nullptr;
    std::unique_ptr<GitBackend> backend(create(GitBackendVersion));
    if (!backend)
        *error = QStringLiteral("The program's module %1 is not of this version").arg(QLatin1String(GitModuleName));
    return backend;
}

struct Repository::Private
{
    std::unique_ptr<GitBackend> git;
};

Repository::Repository() : d(new Private) {}

Repository::~Repository()
{
    delete d;
}

bool Repository::open(const QString &folder, const QString &fileName, QString *error)
{
    m_path = repositoryPath(folder);
    m_fileName = fileName;
    d->git = loadGitBackend(error);
    if (d->git && d->git->open(m_path, fileName, error))
        return true;
    d->git.reset();
    return false;
}

namespace {

bool notOpen(QString *error)
{
    *error = QStringLiteral("The history is not open");
    return false;
}

} // namespace

bool Repository::versions(QList<Version> *out, int limit, QString *error) const
{
    out->clear();
    return d->git ? d->git->versions(out, limit, error) : notOpen(error);
}

bool Repository::resolve(const QString &revision, Version *version, QString *error) const
{
    return d->git ? d->git->resolve(revision, version, error) : notOpen(error);
}

bool Repository::fileAt(const QByteArray &revision, QByteArray *bytes, QString *error) const
{
    return d->git ? d->git->fileAt(revision, bytes, error) : notOpen(error);
}

bool Repository::previous(const QByteArray &revision, QByteArray *parent, QString *error) const
{
    parent->clear();
    return d->git ? d->git->previous(revision, parent, error) : notOpen(error);
}

bool Repository::prune(int keep, const QDateTime &before, int *dropped, QString *error)
{
    *dropped = 0;
    return d->git ? d->git->prune(keep, before, dropped, error) : notOpen(error);
}

} // namespace History
