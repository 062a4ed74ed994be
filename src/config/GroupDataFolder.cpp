#include "config/GroupDataFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace GroupDataFolder {

namespace {

QString refusal(const QString &groupName, const char *why)
{
    return QStringLiteral("The group name \"%1\" does not name a data folder: %2")
        .arg(groupName, QString::fromLatin1(why));
}

// The removal works from open folder descriptors down: every step below "data" is opened
// with O_NOFOLLOW relative to the folder above it, and every entry is looked at without
// following it, so no symbolic link below "data" is ever followed, at any depth, even when
// one is swapped in for a folder while the removal runs (it then goes as a link, or stays).
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
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }

private:
    int m_fd;
};

Fd openBelow(int dir, const char *name)
{
    return Fd(::openat(dir, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

std::vector<std::string> entryNames(int dir)
{
    std::vector<std::string> names;
    const int copy = ::dup(dir);
    if (copy < 0)
        return names;
    DIR *d = ::fdopendir(copy);
    if (!d) {
        ::close(copy);
        return names;
    }
    while (const dirent *e = ::readdir(d)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            names.emplace_back(e->d_name);
    }
    ::closedir(d);
    return names;
}

// Removes the entry `name` of the open folder `dir`: a link or a file as itself, a folder
// with its content first. Goes on past what cannot be removed, so as much as possible goes;
// false when anything stayed.
bool removeEntry(int dir, const char *name, int depth = 0)
{
    struct stat st {};
    if (::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT;
    if (!S_ISDIR(st.st_mode))
        return ::unlinkat(dir, name, 0) == 0 || errno == ENOENT;
    if (depth > 4096)
        return false;
    bool all = true;
    {
        const Fd sub = openBelow(dir, name);
        if (!sub.valid()) {
            // Swapped for a link or a file meanwhile: that goes as itself.
            return ::unlinkat(dir, name, 0) == 0 || errno == ENOENT;
        }
        for (const std::string &child : entryNames(sub.get()))
            all = removeEntry(sub.get(), child.c_str(), depth + 1) && all;
    }
    // A link swapped in after the walk makes this fail (ENOTDIR): it stays, not followed.
    return (::unlinkat(dir, name, AT_REMOVEDIR) == 0 || errno == ENOENT) && all;
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

bool remove(const QString &programFolder, const QString &groupName, QString *error)
{
    QString refused;
    const QString folder = path(programFolder, groupName, &refused);
    if (folder.isEmpty()) {
        if (error)
            *error = refused;
        return false;
    }

    // "data" itself may be a link the administrator set up (data on another disk): it is
    // opened as it is. Below it nothing is followed.
    const QString root = dataRoot(programFolder);
    const QStringList parts = groupName.split(QLatin1Char('.'));
    std::vector<Fd> levels;
    Fd rootFd(::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const int rootErrno = errno;
    levels.push_back(std::move(rootFd));
    if (!levels.back().valid()) {
        if (rootErrno == ENOENT) {
            if (error)
                error->clear();
            return true; // no data at all
        }
        if (error)
            *error = QStringLiteral("Could not open the data folder %1").arg(root);
        return false;
    }
    std::vector<QByteArray> names;
    for (const QString &part : parts)
        names.push_back(QFile::encodeName(part));
    bool removed = true;
    bool reached = true;
    for (size_t i = 0; i + 1 < names.size(); ++i) {
        Fd next = openBelow(levels.back().get(), names[i].constData());
        if (!next.valid()) {
            reached = false;
            if (errno != ENOENT) { // a link or a file where a folder would be: not followed
                if (error)
                    *error = QStringLiteral("The data folder %1 lies behind a symbolic link or a file inside the "
                                            "data folder; it was left as it is")
                                 .arg(folder);
                return false;
            }
            break; // nothing of the group's is there
        }
        levels.push_back(std::move(next));
    }
    if (reached)
        removed = removeEntry(levels.back().get(), names.back().constData());

    // The walk upwards: each folder above that has become empty goes, up to and with "data"
    // (unless "data" is a link); the first that still holds something (or was swapped for a
    // link) ends it. The program's folder always stays.
    bool emptied = true;
    for (size_t i = levels.size() - 1; i >= 1 && emptied; --i) {
        levels.pop_back();
        emptied = ::unlinkat(levels.back().get(), names[i - 1].constData(), AT_REMOVEDIR) == 0;
    }
    levels.clear();
    if (emptied)
        ::rmdir(QFile::encodeName(root).constData()); // fails on a link or a folder still in use

    if (!removed) {
        if (error)
            *error = QStringLiteral("Could not remove everything in the data folder %1").arg(folder);
        return false;
    }
    if (error)
        error->clear();
    return true;
}

} // namespace GroupDataFolder
