#include "config/GroupDataFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace GroupDataFolder {

namespace {

QString refusal(const QString &groupName, const char *why)
{
    return QStringLiteral("The group name \"%1\" does not name a data folder: %2")
        .arg(groupName, QString::fromLatin1(why));
}

// A descriptor that closes itself.
class Fd
{
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(Fd &&other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    Fd &operator=(Fd &&) = delete;
    Fd(const Fd &) = delete;
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }

private:
    int m_fd;
};

TestHooks &hooks()
{
    static TestHooks h;
    return h;
}

// Opens the folder `name` inside the folder `parent` without following a link. `relative`
// (the path below "data") is what a test hook may refuse.
Fd openFolderAt(int parent, const char *name, const QString &relative)
{
    if (hooks().openError) {
        if (const int error = hooks().openError(relative)) {
            errno = error;
            return Fd();
        }
    }
    return Fd(::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

// The device an entry lies on, as a test may pretend it.
quint64 deviceOf(const struct stat &st, const QString &relative)
{
    const quint64 device = quint64(st.st_dev);
    return hooks().device ? hooks().device(relative, device) : device;
}

// Whether the entry `name` of the folder `parent` (or, with an empty name, the folder
// `parent` itself) is the root of a mount: a bind mount of a folder of the same file system
// has the same device as its surroundings, and only this tells it.
bool isMountRoot(int parent, const char *name)
{
#ifdef STATX_ATTR_MOUNT_ROOT
    struct statx sx;
    const int flags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | (*name ? 0 : AT_EMPTY_PATH);
    if (::statx(parent, name, flags, STATX_TYPE, &sx) != 0)
        return false;
    return (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) && (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT);
#else
    Q_UNUSED(parent);
    Q_UNUSED(name);
    return false;
#endif
}

QString joined(const QString &relative, const char *name)
{
    const QString child = QFile::decodeName(name);
    return relative.isEmpty() ? child : relative + QLatin1Char('/') + child;
}

// One removal's state: the device it keeps to, and what it could not remove.
struct Walk
{
    quint64 device = 0;
    bool removedSomething = false;
    QStringList stayed; // "data/<path> (<why>)"

    void stays(const QString &relative, const QString &why)
    {
        stayed.append(QStringLiteral("data/") + relative + QStringLiteral(" (") + why + QLatin1Char(')'));
    }
    void stays(const QString &relative, int error)
    {
        stays(relative, QString::fromLocal8Bit(std::strerror(error)));
    }
};

QString otherFileSystem()
{
    return QStringLiteral("on another file system, not entered");
}

// Removes the entry `name` inside the folder `parent`: a link or a file as itself, a folder
// with its content first. Every step goes through the parent's descriptor and follows no
// link, so a folder swapped for a link while this runs is removed as a link, never entered.
// An entry on another device than the removal's (a mount point, a bind mount) is neither
// entered nor removed, as `rm --one-file-system` does. Goes on past what cannot be removed
// and notes it; false when anything stayed.
bool removeAt(int parent, const char *name, const QString &relative, Walk &walk)
{
    struct stat st;
    if (::fstatat(parent, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT)
            return true;
        walk.stays(relative, errno);
        return false;
    }
    if (!S_ISLNK(st.st_mode) && (deviceOf(st, relative) != walk.device || isMountRoot(parent, name))) {
        walk.stays(relative, otherFileSystem());
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        if (::unlinkat(parent, name, 0) == 0) {
            walk.removedSomething = true;
            return true;
        }
        if (errno == ENOENT)
            return true;
        walk.stays(relative, errno);
        return false;
    }

    Fd folder = openFolderAt(parent, name, relative);
    if (!folder.valid()) {
        if (errno == ELOOP || errno == ENOTDIR) { // swapped meanwhile: remove what stands there
            if (::unlinkat(parent, name, 0) == 0 || errno == ENOENT) {
                walk.removedSomething = true;
                return true;
            }
        }
        if (errno == ENOENT)
            return true;
        walk.stays(relative, errno);
        return false;
    }
    // What was opened is checked again: a folder mounted over since the look is not entered.
    struct stat opened;
    if (::fstat(folder.get(), &opened) != 0 || deviceOf(opened, relative) != walk.device ||
        isMountRoot(folder.get(), "")) {
        walk.stays(relative, otherFileSystem());
        return false;
    }
    bool all = true;
    const int listFd = ::dup(folder.get());
    DIR *list = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (!list) {
        const int error = errno;
        if (listFd >= 0)
            ::close(listFd);
        walk.stays(relative, error);
        return false;
    }
    std::vector<QByteArray> names;
    errno = 0;
    while (const dirent *entry = ::readdir(list)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.emplace_back(entry->d_name);
    }
    ::closedir(list);
    for (const QByteArray &child : names)
        all = removeAt(folder.get(), child.constData(), joined(relative, child.constData()), walk) && all;
    if (::unlinkat(parent, name, AT_REMOVEDIR) == 0) {
        walk.removedSomething = true;
        return all;
    }
    if (errno == ENOENT)
        return all;
    // A folder still holding what stayed is not named again; one that is empty is.
    if (all)
        walk.stays(relative, errno);
    return false;
}

} // namespace

QString dataRoot(const QString &programFolder)
{
    return QDir::cleanPath(QDir(programFolder).absoluteFilePath(QStringLiteral("data")));
}

QString path(const QString &programFolder, const QString &groupName, QString *error)
{
    auto refuse = [error](const QString &message) {
        if (error)
            *error = message;
        return QString();
    };
    if (groupName.isEmpty())
        return refuse(QStringLiteral("The group has no name, so it has no data folder"));

    const QStringList parts = groupName.split(QLatin1Char('.'));
    for (const QString &part : parts) {
        if (part.isEmpty())
            return refuse(refusal(groupName, "it starts or ends with \".\" or holds \"..\""));
        for (const QChar c : part) {
            if (c == QLatin1Char('/') || c == QLatin1Char('\\'))
                return refuse(refusal(groupName, "it holds a path separator"));
            if (c == QLatin1Char(':'))
                return refuse(refusal(groupName, "it holds a drive colon"));
            if (c.unicode() == 0)
                return refuse(refusal(groupName, "it holds a NUL character"));
        }
    }

    const QString root = dataRoot(programFolder);
    const QString folder = root + QLatin1Char('/') + parts.join(QLatin1Char('/'));
    // The parts above cannot climb out of "data"; this keeps that true whatever changes.
    if (!QDir::cleanPath(folder).startsWith(root + QLatin1Char('/')))
        return refuse(refusal(groupName, "it leads outside the data folder"));
    if (error)
        error->clear();
    return folder;
}

Removal removeData(const QString &programFolder, const QString &groupName)
{
    Removal result;
    QString refused;
    const QString folder = path(programFolder, groupName, &refused);
    if (folder.isEmpty()) {
        result.error = refused;
        return result;
    }
    const QStringList parts = groupName.split(QLatin1Char('.'));
    auto fail = [&](const QString &why) {
        result.error = QStringLiteral("Could not remove everything in the data folder %1: %2").arg(folder, why);
        return result;
    };

    // "data" itself may be a link the administrator set up (data on another disk): it is
    // opened as it is. Below it no link is ever followed, at any depth, and no other file
    // system is entered: the removal keeps to the device "data" lies on.
    std::vector<Fd> chain;
    if (hooks().openError && hooks().openError(QString())) {
        errno = hooks().openError(QString());
        chain.emplace_back();
    } else {
        chain.emplace_back(::open(QFile::encodeName(dataRoot(programFolder)).constData(),
                                  O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    }
    if (!chain.back().valid()) {
        // No "data": the group has no data. Anything else (a folder that may not be read)
        // leaves whatever the group has there.
        if (errno == ENOENT) {
            result.complete = true;
            return result;
        }
        const QString why = QString::fromLocal8Bit(std::strerror(errno));
        result.stayed.append(QStringLiteral("data/") + parts.join(QLatin1Char('/')));
        return fail(QStringLiteral("%1 cannot be opened (%2), so whatever the group has there stays")
                        .arg(dataRoot(programFolder), why));
    }
    Walk walk;
    struct stat dataStat;
    if (::fstat(chain.back().get(), &dataStat) != 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    walk.device = deviceOf(dataStat, QString());

    bool removed = true;
    QString linked;
    QString reason; // why the walk to the group's folder stopped short, when it did
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
        const QString relative = QStringList(parts.mid(0, i + 1)).join(QLatin1Char('/'));
        Fd next = openFolderAt(chain.back().get(), QFile::encodeName(parts.at(i)).constData(), relative);
        if (!next.valid()) {
            // Nothing there: the group has no data inside "data". A link or a file standing
            // for a folder is not followed to find some; a folder that cannot be opened
            // keeps what the group may have below it.
            if (errno == ELOOP || errno == ENOTDIR) {
                removed = false;
                linked = relative;
            } else if (errno != ENOENT) {
                removed = false;
                reason = QStringLiteral("data/%1 cannot be opened (%2), so whatever the group has there stays")
                             .arg(relative, QString::fromLocal8Bit(std::strerror(errno)));
            }
            break;
        }
        struct stat st;
        if (::fstat(next.get(), &st) != 0 || deviceOf(st, relative) != walk.device || isMountRoot(next.get(), "")) {
            removed = false;
            reason = QStringLiteral("data/%1 is on another file system, which is not entered, so whatever the "
                                    "group has there stays").arg(relative);
            break;
        }
        chain.push_back(std::move(next));
    }
    if (removed && qsizetype(chain.size()) == parts.size())
        removed = removeAt(chain.back().get(), QFile::encodeName(parts.last()).constData(),
                           parts.join(QLatin1Char('/')), walk);

    // The walk upwards: each folder above that has become empty goes, up to "data"; the
    // first that still holds something (or is no longer a folder) ends it.
    bool emptied = true;
    for (qsizetype i = qsizetype(chain.size()) - 1; i >= 1 && emptied; --i) {
        chain.pop_back();
        emptied = ::unlinkat(chain.back().get(), QFile::encodeName(parts.at(i - 1)).constData(), AT_REMOVEDIR) == 0;
    }
    // "data" itself goes too once empty, unless it is the administrator's link.
    chain.clear();
    if (emptied && removed && !QFileInfo(dataRoot(programFolder)).isSymLink())
        QDir().rmdir(dataRoot(programFolder));

    result.removedSomething = walk.removedSomething;
    result.stayed = walk.stayed;
    if (!reason.isEmpty())
        result.stayed.append(QStringLiteral("data/") + parts.join(QLatin1Char('/')));
    if (!linked.isEmpty()) {
        result.error = QStringLiteral("Could not remove the data folder %1: data/%2 is not a folder (a link is not followed)")
                           .arg(folder, linked);
        return result;
    }
    if (!removed) {
        QString why = reason;
        if (!walk.stayed.isEmpty()) {
            // The first few of what stayed are named, then how many more there are.
            constexpr qsizetype Named = 5;
            QStringList named = walk.stayed.mid(0, Named);
            if (walk.stayed.size() > Named)
                named.append(QStringLiteral("%1 more").arg(walk.stayed.size() - Named));
            const QString list = QStringLiteral("what stayed: ") + named.join(QStringLiteral(", "));
            why = why.isEmpty() ? list : why + QStringLiteral("; ") + list;
        }
        return fail(why);
    }
    result.complete = true;
    return result;
}

bool remove(const QString &programFolder, const QString &groupName, QString *error)
{
    const Removal removal = removeData(programFolder, groupName);
    if (error)
        *error = removal.error;
    return removal.complete;
}

void setTestHooks(TestHooks testHooks)
{
    hooks() = std::move(testHooks);
}

} // namespace GroupDataFolder
