#pragma once

#include <QString>
#include <QtGlobal>

// What the support report says about the machine: the operating system, physical memory
// and the disk that holds a folder.
class SystemInfo
{
public:
    struct OsVersion
    {
        bool known = false;
        QString name;      // the system's family or distribution, e.g. "Debian GNU/Linux 13 (trixie)"
        QString version;   // major and minor number joined by ".", e.g. "6.1"
        QString extraInfo; // the system's additional version text, e.g. the kernel release
    };
    struct Memory
    {
        quint64 totalBytes = 0;
        quint64 availableBytes = 0;
    };
    struct Disk
    {
        bool known = false;
        qint64 totalBytes = 0;
        qint64 freeBytes = 0; // free bytes available to the calling user
    };

    virtual ~SystemInfo() = default;
    virtual OsVersion osVersion() const = 0;
    virtual Memory memory() const = 0;
    virtual Disk disk(const QString &folder) const = 0;
};

// The running machine: the distribution's name, the kernel's version from uname(2),
// memory from sysinfo(2), disk space from statvfs(3).
class LocalSystemInfo : public SystemInfo
{
public:
    OsVersion osVersion() const override;
    Memory memory() const override;
    Disk disk(const QString &folder) const override;
};

// Fixed answers, for tests.
class FixedSystemInfo : public SystemInfo
{
public:
    OsVersion os;
    Memory mem;
    Disk diskSpace;
    QString askedFolder; // the folder last asked about
    OsVersion osVersion() const override { return os; }
    Memory memory() const override { return mem; }
    Disk disk(const QString &folder) const override
    {
        const_cast<FixedSystemInfo *>(this)->askedFolder = folder;
        return diskSpace;
    }
};
