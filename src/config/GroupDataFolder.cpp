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

// Opens the folder `name` inside the folder `parent` without following a link.
Fd openFolderAt(int parent, const char *name)
{
    return Fd(::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

// Removes the entry `name` inside the folder `parent`: a link or a file as itself, a folder
// with its content first. Every step goes through the parent's descriptor and follows no
// link, so a folder swapped for a link while this runs is removed as a link, never entered.
// Goes on past what cannot be removed; false when anything stayed.
bool removeAt(int parent, const char *name)
{
    struct stat st;
    if (::fstatat(parent, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT;
    if (!S_ISDIR(st.st_mode))
        return ::unlinkat(parent, name, 0) == 0 || errno == ENOENT;

    Fd folder = openFolderAt(parent, name);
    if (!folder.valid()) {
        if (errno == ELOOP || errno == ENOTDIR) // swapped meanwhile: remove what stands there
            return ::unlinkat(parent, name, 0) == 0 || errno == ENOENT;
        return errno == ENOENT;
    }
    bool all = true;
    const int listFd = ::dup(folder.get());
    DIR *list = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (!list) {
        if (listFd >= 0)
            ::close(listFd);
        return false;
    }
    std::vector<QByteArray> names;
    while (const dirent *entry = ::readdir(list)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.emplace_back(entry->d_name);
    }
    ::closedir(list);
    for (const QByteArray &child : names)
        all = removeAt(folder.get(), child.constData()) && all;
    return (::unlinkat(parent, name, AT_REMOVEDIR) == 0 || errno == ENOENT) && all;
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
    // opened as it is. Below it no link is ever followed, at any depth.
    const QStringList parts = groupName.split(QLatin1Char('.'));
    std::vector<Fd> chain;
    chain.emplace_back(::open(QFile::encodeName(dataRoot(programFolder)).constData(),
                              O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    bool removed = true;
    QString linked;
    if (chain.back().valid()) {
        for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
            Fd next = openFolderAt(chain.back().get(), QFile::encodeName(parts.at(i)).constData());
            if (!next.valid()) {
                // Nothing there, or a link or a file standing for a folder: the group has no
                // data inside "data", and a link is not followed to find some.
                if (errno == ELOOP || errno == ENOTDIR) {
                    removed = false;
                    linked = QStringList(parts.mid(0, i + 1)).join(QLatin1Char('/'));
                }
                break;
            }
            chain.push_back(std::move(next));
        }
        if (removed && qsizetype(chain.size()) == parts.size())
            removed = removeAt(chain.back().get(), QFile::encodeName(parts.last()).constData());

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
    }

    if (!linked.isEmpty()) {
        if (error)
            *error = QStringLiteral("Could not remove the data folder %1: data/%2 is not a folder (a link is not followed)")
                         .arg(folder, linked);
        return false;
    }
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
